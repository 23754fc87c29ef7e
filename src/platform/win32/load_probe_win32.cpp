#include "platform/win32/load_probe_win32.h"

#include <atomic>
#include <vector>

#include "platform/win32/kernel32_win32.h"
#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

namespace {

// How long a helper may take. A cold start of the system's loader can take
// seconds; a load or the component's version query never should.
constexpr DWORD kStartPatience = 20000;     // milliseconds
constexpr DWORD kLoadPatience = 4000;
constexpr DWORD kComponentPatience = 10000;
constexpr DWORD kEndPatience = 2000;

// A job that ends the helper when this process ends, however it ends, so that
// a helper stuck in a library's initialisation never outlives the program.
ScopedHandle make_kill_on_close_job() {
  ScopedHandle job(CreateJobObjectW(nullptr, nullptr));
  if (!job) return job;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                               sizeof(limits)))
    job.reset();
  return job;
}

// The pipe the helper answers on. Its reading end is overlapped, so that a
// wait for an answer sleeps until the answer comes, the helper ends or the
// patience runs out, instead of looking again every millisecond while the
// helper loads a library.
bool make_answer_pipe(SECURITY_ATTRIBUTES& inheritable, HANDLE& reading, HANDLE& writing) {
  static std::atomic<unsigned> made{0};
  const std::wstring name = L"\\\\.\\pipe\\tarnwick-load-probe-" +
                            std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(++made);
  reading = CreateNamedPipeW(
      name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, 4096, 0,
      nullptr);
  if (reading == INVALID_HANDLE_VALUE) return false;
  writing = CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr);
  if (writing == INVALID_HANDLE_VALUE) {
    CloseHandle(reading);
    return false;
  }
  return true;
}

// Starts the helper suspended with the two pipe ends as its standard input
// and output. Every other inheritable handle of this program stays here: a
// helper that outlives an answer must not hold, say, the pipe of a standard
// output whose reader waits for its end. Where the system cannot name the
// handles to inherit, the helper inherits as a plain start would.
bool start_helper(const std::wstring& program, std::wstring& command_line, HANDLE input,
                  HANDLE output, PROCESS_INFORMATION& started) {
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(startup.StartupInfo);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = input;
  startup.StartupInfo.hStdOutput = output;
  startup.StartupInfo.hStdError = nullptr;
  // Same current folder and environment as this process: nothing is passed.
  constexpr DWORD kFlags = CREATE_SUSPENDED | CREATE_NO_WINDOW;

  HANDLE inherited[] = {input, output};
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<unsigned char> storage(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  if (size != 0 && InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
    bool started_with_list = false;
    if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                  sizeof(inherited), nullptr, nullptr)) {
      startup.StartupInfo.cb = sizeof(startup);
      startup.lpAttributeList = attributes;
      started_with_list =
          CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                         kFlags | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                         &startup.StartupInfo, &started) != FALSE;
    }
    DeleteProcThreadAttributeList(attributes);
    if (started_with_list) return true;
  }
  startup.StartupInfo.cb = sizeof(startup.StartupInfo);
  return CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, kFlags,
                        nullptr, nullptr, &startup.StartupInfo, &started) != FALSE;
}

}  // namespace

Win32LoadProbe::~Win32LoadProbe() { end_helper(false); }

void Win32LoadProbe::start() {
  if (!process_ && !no_helper_ && !launch()) no_helper_ = true;
}

bool Win32LoadProbe::can_load(const std::string& name) {
  const Answer answer = ask(load_probe_protocol::kLoad + name, kLoadPatience);
  if (no_helper_) return in_process_.can_load(name);
  return answer == Answer::yes;
}

bool Win32LoadProbe::component_answers() {
  const Answer answer = ask(load_probe_protocol::kComponent, kComponentPatience);
  if (no_helper_) return in_process_.component_answers();
  return answer == Answer::yes;
}

void Win32LoadProbe::finish() { end_helper(true); }

Win32LoadProbe::Answer Win32LoadProbe::ask(const std::string& request, DWORD patience_ms) {
  start();
  if (no_helper_) return Answer::lost;
  if (awaiting_greeting_) {
    awaiting_greeting_ = false;
    std::string greeting;
    if (!read_line(greeting, kStartPatience) || greeting != load_probe_protocol::kReady) {
      // A helper that cannot even start says nothing about the library.
      end_helper(false);
      no_helper_ = true;
      return Answer::lost;
    }
  }
  const std::string line = request + "\n";
  DWORD written = 0;
  std::string answer;
  if (!WriteFile(to_helper_.get(), line.data(), static_cast<DWORD>(line.size()), &written,
                 nullptr) ||
      written != line.size() || !read_line(answer, patience_ms)) {
    // The helper went down with this question, or hangs in it; the next
    // question gets a fresh helper.
    end_helper(false);
    return Answer::lost;
  }
  if (answer == load_probe_protocol::kYes) return Answer::yes;
  if (answer == load_probe_protocol::kNo) return Answer::no;
  end_helper(false);
  return Answer::lost;
}

bool Win32LoadProbe::launch() {
  const std::wstring program = own_file_name();
  if (program.empty()) return false;

  // The helper's ends of the two pipes are made inheritable, and named as
  // the only handles it inherits (see start_helper).
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE helper_input = nullptr, to_helper = nullptr;
  HANDLE from_helper = nullptr, helper_output = nullptr;
  if (!CreatePipe(&helper_input, &to_helper, &inheritable, 0)) return false;
  ScopedHandle helper_input_owner(helper_input);
  to_helper_ = ScopedHandle(to_helper);
  if (!make_answer_pipe(inheritable, from_helper, helper_output)) {
    to_helper_.reset();
    return false;
  }
  ScopedHandle helper_output_owner(helper_output);
  from_helper_ = ScopedHandle(from_helper);
  SetHandleInformation(to_helper_.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(from_helper_.get(), HANDLE_FLAG_INHERIT, 0);

  std::wstring command_line = L"\"" + program + L"\" " + kLoadProbeHelperSwitch;
  PROCESS_INFORMATION started{};
  if (!start_helper(program, command_line, helper_input, helper_output, started)) {
    to_helper_.reset();
    from_helper_.reset();
    return false;
  }
  process_ = ScopedHandle(started.hProcess);
  ScopedHandle thread(started.hThread);
  if (!job_) job_ = make_kill_on_close_job();
  if (job_) AssignProcessToJobObject(job_.get(), process_.get());
  ResumeThread(thread.get());
  ++helpers_started_;
  received_.clear();
  // Its greeting is awaited with the first question, so that the program
  // goes on with its own work while the helper starts.
  awaiting_greeting_ = true;
  return true;
}

// Waits for one line from the helper. False when the helper ends, breaks the
// pipe or keeps silent longer than `patience_ms`.
bool Win32LoadProbe::read_line(std::string& line, DWORD patience_ms) {
  const ULONGLONG deadline = GetTickCount64() + patience_ms;
  for (;;) {
    const std::size_t end = received_.find('\n');
    if (end != std::string::npos) {
      line = received_.substr(0, end);
      received_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    char chunk[512];
    DWORD read = 0;
    if (!read_some(chunk, sizeof(chunk), read, static_cast<DWORD>(deadline - now))) return false;
    received_.append(chunk, read);
  }
}

// One read of what the helper writes next. False when the helper has ended
// and everything it wrote is read (the pipe breaks), or when nothing came
// within `patience_ms`; a read given up on is cancelled and waited out, so
// that nothing is written into the buffer after it is gone.
bool Win32LoadProbe::read_some(char* buffer, DWORD size, DWORD& read, DWORD patience_ms) {
  if (!read_done_) read_done_ = ScopedHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!read_done_) return false;
  OVERLAPPED overlapped{};
  overlapped.hEvent = read_done_.get();
  if (!ReadFile(from_helper_.get(), buffer, size, nullptr, &overlapped)) {
    if (GetLastError() != ERROR_IO_PENDING) return false;
    if (WaitForSingleObject(overlapped.hEvent, patience_ms) != WAIT_OBJECT_0) {
      CancelIo(from_helper_.get());
      GetOverlappedResult(from_helper_.get(), &overlapped, &read, TRUE);
      return false;
    }
  }
  return GetOverlappedResult(from_helper_.get(), &overlapped, &read, FALSE) && read > 0;
}

void Win32LoadProbe::end_helper(bool let_it_end) {
  if (!process_) return;
  // Closing its input asks the helper to end; one that does not, or one that
  // is known to be stuck, is ended.
  to_helper_.reset();
  if (!let_it_end || WaitForSingleObject(process_.get(), kEndPatience) != WAIT_OBJECT_0) {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), kEndPatience);
  }
  process_.reset();
  from_helper_.reset();
  received_.clear();
}

}  // namespace tarnwick::win32
