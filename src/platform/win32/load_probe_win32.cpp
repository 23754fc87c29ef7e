#include "platform/win32/load_probe_win32.h"

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cwchar>
#include <exception>
#include <optional>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/win32/component_win32.h"
#include "platform/win32/error_win32.h"
#include "platform/win32/kernel32_win32.h"
#include "probe/explanation.h"
#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

namespace {

using Json = nlohmann::json;

// The switch that makes the program a load-probe helper. Private: the helper
// talks only to the copy of the program that started it, which passes the
// handle values of its pipe ends and of itself after it.
constexpr const wchar_t* kHelperSwitch = L"--tarnwick-load-probe-helper";

constexpr const char* kComponent = "component";
constexpr const char* kLoad = "load ";

// How long a helper may take. A cold start of the system's loader can take
// seconds; a load or the component's version query never should. A question
// is given its patience from the later of its sending and the helper's last
// word, so that the program's own pace never counts against a library.
constexpr DWORD kStartPatience = 20000;  // milliseconds, until the greeting
constexpr DWORD kLoadPatience = 4000;
constexpr DWORD kComponentPatience = 10000;
// A helper whose pipe broke is ending; this long is given to it to be gone,
// so that its exit code can be read.
constexpr DWORD kEndingPatience = 1000;

// Room for every question of a report at once: 38 lines of a name each. The
// program writes without waiting for the helper to read.
constexpr DWORD kQuestionBuffer = 64 * 1024;
// Room for every answer, so that a helper never waits for the program.
constexpr DWORD kAnswerBuffer = 64 * 1024;

// --- The load itself, on either side --------------------------------------------

// One answer line as the helper wrote it: an object whose "loads" is true or
// false. Anything else is no answer.
std::optional<LoadAnswer> answer_from(const Json& line) {
  if (!line.is_object() || !line.contains("loads") || !line["loads"].is_boolean())
    return std::nullopt;
  const auto text = [&](const char* key) {
    const auto found = line.find(key);
    return found != line.end() && found->is_string() ? found->get<std::string>() : std::string();
  };
  LoadAnswer answer;
  answer.loads = line["loads"].get<bool>();
  LoadDetails& details = answer.details;
  details.loaded_from = text("loaded_from");
  if (const auto error = line.find("error"); error != line.end() && error->is_number_unsigned())
    details.error = error->get<std::uint32_t>();
  details.message = text("message");
  details.machine = text("machine");
  if (const auto missing = line.find("missing"); missing != line.end() && missing->is_array())
    for (const Json& item : *missing)
      if (item.is_string()) details.missing.push_back(item.get<std::string>());
  return answer;
}

// What the attempt itself saw, one line; the program adds what became of
// the helper.
std::string answer_line(const LoadAnswer& answer) {
  Json line = {{"loads", answer.loads}};
  const LoadDetails& details = answer.details;
  if (!details.loaded_from.empty()) line["loaded_from"] = details.loaded_from;
  if (details.error) line["error"] = *details.error;
  if (!details.message.empty()) line["message"] = details.message;
  if (!details.machine.empty()) line["machine"] = details.machine;
  if (!details.missing.empty()) line["missing"] = details.missing;
  // A path need not be valid text; a stray byte must not cost the answer.
  return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

const std::string& greeting() {
  static const std::string line = Json{{"ready", true}}.dump();
  return line;
}

// The component library asked as the program asks it, through the same
// guarded load and call; "yes" means only that the call came back. The
// library stays loaded: the helper is ended without unloading anything.
bool component_answers_here() {
  Win32ComponentLibrary component;
  std::int32_t bytes = 0, major = 0, minor = 0;
  try {
    component.KTR_DLL_VERSION(&bytes, &major, &minor);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// --- The helper's side ---------------------------------------------------------

struct HelperEnds {
  HANDLE input;
  HANDLE output;
  HANDLE program;
};

// The handle values after the switch, which must end the command line.
std::optional<HelperEnds> helper_ends(const wchar_t* command_line) {
  if (command_line == nullptr) return std::nullopt;
  const std::wstring key = std::wstring(L" ") + kHelperSwitch + L" ";
  const std::wstring_view line(command_line);
  const std::size_t at = line.rfind(key);
  if (at == std::wstring_view::npos) return std::nullopt;
  const wchar_t* next = command_line + at + key.size();
  std::uintptr_t values[3] = {};
  for (std::uintptr_t& value : values) {
    while (*next == L' ') ++next;
    if (*next < L'0' || *next > L'9') return std::nullopt;
    wchar_t* end = nullptr;
    value = static_cast<std::uintptr_t>(std::wcstoull(next, &end, 10));
    next = end;
  }
  while (*next == L' ') ++next;
  if (*next != L'\0') return std::nullopt;
  return HelperEnds{reinterpret_cast<HANDLE>(values[0]), reinterpret_cast<HANDLE>(values[1]),
                    reinterpret_cast<HANDLE>(values[2])};
}

// Ends the helper where it stands: no library's unload code runs.
int end_now(UINT code) {
  TerminateProcess(GetCurrentProcess(), code);
  return static_cast<int>(code);
}

// A library that faults outside every handler ends the helper at once,
// quietly: no debugger, no crash box. The program counts the question lost.
LONG WINAPI end_quietly(EXCEPTION_POINTERS* exception) {
  end_now(exception->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

// The helper ends with its program even where the program's job could not
// take it in.
DWORD WINAPI end_with_program(void* program) {
  if (WaitForSingleObject(static_cast<HANDLE>(program), INFINITE) == WAIT_OBJECT_0)
    end_now(kHelperEndedWithProgram);
  return 0;
}

bool write_line(HANDLE output, const std::string& text) {
  const std::string line = text + "\n";
  DWORD written = 0;
  return WriteFile(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
         written == line.size();
}

// --- The program's side --------------------------------------------------------

// A job that ends the helper, and whatever a library started from it, when
// this process ends, however it ends.
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
// patience runs out.
bool make_answer_pipe(SECURITY_ATTRIBUTES& inheritable, ScopedHandle& reading,
                      ScopedHandle& writing) {
  static std::atomic<unsigned> made{0};
  const std::wstring name = L"\\\\.\\pipe\\tarnwick-load-probe-" +
                            std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(++made);
  reading = ScopedHandle(CreateNamedPipeW(
      name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
      kAnswerBuffer, 0, nullptr));
  if (!reading) return false;
  writing = ScopedHandle(
      CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr));
  return static_cast<bool>(writing);
}

std::wstring handle_text(HANDLE handle) {
  return std::to_wstring(reinterpret_cast<std::uintptr_t>(handle));
}

}  // namespace

LoadAnswer load_here(const std::string& name) {
  LoadAnswer answer;
  const std::wstring wide_name = to_wide(name);
  const HMODULE module = LoadLibraryW(wide_name.c_str());
  if (module == nullptr) {
    // The error, its text and the file's own analysis (its machine, what it
    // cannot resolve) belong here, on the side that made the attempt: in the
    // helper, or in this process where no helper could be started.
    explain_failed_load(wide_name, GetLastError(), answer.details);
    return answer;
  }
  answer.loads = true;
  answer.details.loaded_from = to_utf8(module_file_name(module));
  FreeLibrary(module);
  return answer;
}

bool is_load_probe_helper(const wchar_t* command_line) {
  return helper_ends(command_line).has_value();
}

int run_load_probe_helper() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(end_quietly);
  // A library whose C runtime aborts must not leave a box on the screen
  // waiting for a click: the runtime is shared, so this reaches it too.
  _set_error_mode(_OUT_TO_STDERR);

  const std::optional<HelperEnds> ends = helper_ends(GetCommandLineW());
  if (!ends) return 1;
  // Inherited so that this process has them; no process a library starts
  // from here may, or a helper's death would go unseen while it lives. The
  // helper's standard handles are none: a library that talks on them while
  // it loads is heard by nobody.
  for (HANDLE handle : {ends->input, ends->output, ends->program})
    SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
  if (HANDLE watch = CreateThread(nullptr, 0, end_with_program, ends->program, 0, nullptr))
    CloseHandle(watch);
  if (!write_line(ends->output, greeting())) return end_now(1);

  std::string received;
  char chunk[512];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(ends->input, chunk, sizeof(chunk), &read, nullptr) || read == 0)
      return end_now(0);
    received.append(chunk, read);
    for (std::size_t end; (end = received.find('\n')) != std::string::npos;) {
      std::string request = received.substr(0, end);
      received.erase(0, end + 1);
      LoadAnswer answer;
      const std::string_view load = kLoad;
      if (request == kComponent) answer.loads = component_answers_here();
      else if (request.starts_with(load)) answer = load_here(request.substr(load.size()));
      if (!write_line(ends->output, answer_line(answer))) return end_now(1);
    }
  }
}

// Starts the helper suspended with no standard handles. It inherits only the
// handles named: a helper must not hold, say, the pipe of a standard output
// whose reader waits for its end. Where the system cannot name the handles
// to inherit, the helper inherits as a plain start would.
bool start_helper_process(const std::wstring& program, std::wstring& command_line,
                          const std::vector<HANDLE>& inherited, PROCESS_INFORMATION& started) {
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(startup.StartupInfo);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  // Same current folder and environment as this process: nothing is passed.
  constexpr DWORD kFlags = CREATE_SUSPENDED | CREATE_NO_WINDOW;

  std::vector<HANDLE> handles = inherited;
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<unsigned char> storage(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  if (size != 0 && InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
    bool started_with_list = false;
    if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                  handles.data(), handles.size() * sizeof(HANDLE), nullptr,
                                  nullptr)) {
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
  startup.lpAttributeList = nullptr;
  return CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, kFlags,
                        nullptr, nullptr, &startup.StartupInfo, &started) != FALSE;
}

Win32LoadProbe::Win32LoadProbe(StartHelper start_helper)
    : start_helper_(std::move(start_helper)) {}

Win32LoadProbe::~Win32LoadProbe() { end_helper(); }

void Win32LoadProbe::start() {
  if (component_asked_) return;
  component_asked_ = true;
  ask(kComponent, kComponentPatience);
}

void Win32LoadProbe::ask_ahead(const std::string& name) { ask(kLoad + name, kLoadPatience); }

LoadAnswer Win32LoadProbe::try_load(const std::string& name) {
  return await(find_or_ask(kLoad + name, kLoadPatience));
}

bool Win32LoadProbe::component_answers() {
  start();
  return await(find_or_ask(kComponent, kComponentPatience)).loads;
}

void Win32LoadProbe::finish() { end_helper(); }

DWORD Win32LoadProbe::helper_process_id() const { return process_ ? process_id_ : 0; }

std::size_t Win32LoadProbe::ask(std::string request, DWORD patience_ms) {
  Question question;
  question.request = std::move(request);
  question.patience_ms = patience_ms;
  questions_.push_back(std::move(question));
  const std::size_t index = questions_.size() - 1;
  if (!no_helper_ && (process_ || launch_with_retry())) send(index);
  return index;
}

// The first question at or after the next one to take that asks `request`,
// asked now when there is none. The questions passed over are withdrawn.
std::size_t Win32LoadProbe::find_or_ask(const std::string& request, DWORD patience_ms) {
  std::size_t index = next_to_take_;
  while (index < questions_.size() && questions_[index].request != request) ++index;
  if (index == questions_.size()) index = ask(request, patience_ms);
  for (std::size_t passed = next_to_take_; passed < index; ++passed)
    questions_[passed].wanted = false;
  next_to_take_ = index + 1;
  return index;
}

const LoadAnswer& Win32LoadProbe::await(std::size_t index) {
  while (!questions_[index].answered) {
    if (no_helper_) {
      answer_in_process(questions_[index]);
      break;
    }
    // A question asked before the helper was ended (finish) goes to a new one.
    if (std::find(in_flight_.begin(), in_flight_.end(), index) == in_flight_.end()) {
      if (process_ || launch_with_retry()) send(index);
      continue;
    }
    ULONGLONG deadline = started_at_ + kStartPatience;
    if (greeted_) {
      const Question& working = questions_[in_flight_.front()];
      deadline = std::max(heard_at_, working.sent_at) + working.patience_ms;
    }
    std::string line;
    switch (read_line(line, deadline)) {
      case Heard::something:
        take(line);
        break;
      case Heard::ended:
        lose_helper(Loss::ended);
        break;
      case Heard::silent:
        lose_helper(Loss::silent);
        break;
    }
  }
  return questions_[index].answer;
}

// Where no helper can be had. A question a helper was lost on is never let
// into this process: it may be what ended that helper.
void Win32LoadProbe::answer_in_process(Question& question) {
  question.answered = true;
  if (question.suspect) {
    question.answer = LoadAnswer{false, question.loss};
    return;
  }
  answered_in_process_ = true;
  const std::string_view load = kLoad;
  if (question.request == kComponent)
    // Nothing can be asked beforehand here: the program's own guarded call
    // decides.
    question.answer = LoadAnswer{true, {}};
  else
    question.answer = load_here(question.request.substr(load.size()));
}

// A helper, or after a start the system refused, one more; when that fails
// too, the loads are made in this process from here on.
bool Win32LoadProbe::launch_with_retry() {
  while (failed_starts_ < 2) {
    if (launch()) return true;
    ++failed_starts_;
  }
  end_helper();
  no_helper_ = true;
  return false;
}

bool Win32LoadProbe::launch() {
  end_helper();
  const std::wstring program = own_file_name();
  if (program.empty()) return false;

  // The helper's ends of the pipes, and a handle of this process for it to
  // watch, are made inheritable and named as the only handles it inherits.
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE input = nullptr, to_helper = nullptr;
  if (!CreatePipe(&input, &to_helper, &inheritable, kQuestionBuffer)) return false;
  ScopedHandle helper_input(input), to_helper_owner(to_helper);
  SetHandleInformation(to_helper, HANDLE_FLAG_INHERIT, 0);
  ScopedHandle from_helper, helper_output;
  if (!make_answer_pipe(inheritable, from_helper, helper_output)) return false;
  HANDLE self = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                       SYNCHRONIZE, TRUE, 0))
    return false;
  ScopedHandle program_for_helper(self);

  std::wstring command_line = L"\"" + program + L"\" " + kHelperSwitch + L" " +
                              handle_text(helper_input.get()) + L" " +
                              handle_text(helper_output.get()) + L" " + handle_text(self);
  PROCESS_INFORMATION started{};
  if (!start_helper_(program, command_line,
                     {helper_input.get(), helper_output.get(), program_for_helper.get()},
                     started))
    return false;
  ScopedHandle process(started.hProcess);
  ScopedHandle thread(started.hThread);
  // The job ends the helper with this process, however this process ends,
  // and whatever a library started from it. The system refuses it where
  // this process is in a job that takes no other (before Windows 8); then the
  // helper's own watch on this process, which it always keeps, ends it with
  // the program all the same.
  if (!job_) job_ = make_kill_on_close_job();
  if (job_) AssignProcessToJobObject(job_.get(), process.get());
  if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
    TerminateProcess(process.get(), kHelperEndedByProgram);
    return false;
  }
  ++helpers_started_;
  process_ = std::move(process);
  process_id_ = started.dwProcessId;
  to_helper_ = std::move(to_helper_owner);
  from_helper_ = std::move(from_helper);
  started_at_ = heard_at_ = GetTickCount64();
  return true;
}

void Win32LoadProbe::send(std::size_t index) {
  Question& question = questions_[index];
  question.sent_at = GetTickCount64();
  if (!has_first_) {
    has_first_ = true;
    first_ = index;
  }
  in_flight_.push_back(index);
  // A helper already gone fails the write; that is found out when an answer
  // is awaited.
  const std::string line = question.request + "\n";
  DWORD written = 0;
  WriteFile(to_helper_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// Waits for one line from the helper until `deadline`.
Win32LoadProbe::Heard Win32LoadProbe::read_line(std::string& line, ULONGLONG deadline) {
  for (;;) {
    const std::size_t end = received_.find('\n');
    if (end != std::string::npos) {
      line = received_.substr(0, end);
      received_.erase(0, end + 1);
      return Heard::something;
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return Heard::silent;
    char chunk[4096];
    DWORD read = 0;
    const Heard heard = read_some(chunk, sizeof(chunk), read, static_cast<DWORD>(deadline - now));
    if (heard != Heard::something) return heard;
    received_.append(chunk, read);
  }
}

// One read of what the helper writes next. A read given up on is cancelled
// and waited out, so that nothing is written into the buffer after it is
// gone.
Win32LoadProbe::Heard Win32LoadProbe::read_some(char* buffer, DWORD size, DWORD& read,
                                                DWORD patience_ms) {
  if (!read_done_) read_done_ = ScopedHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!read_done_) return Heard::ended;
  OVERLAPPED overlapped{};
  overlapped.hEvent = read_done_.get();
  if (!ReadFile(from_helper_.get(), buffer, size, nullptr, &overlapped)) {
    if (GetLastError() != ERROR_IO_PENDING) return Heard::ended;  // the pipe broke
    // The helper's end wakes the wait too, whoever else may hold its pipe.
    const HANDLE waits[] = {read_done_.get(), process_.get()};
    const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, patience_ms);
    if (woke != WAIT_OBJECT_0) {
      CancelIo(from_helper_.get());
      if (GetOverlappedResult(from_helper_.get(), &overlapped, &read, TRUE) && read > 0)
        return Heard::something;  // it came as the wait ended
      return woke == WAIT_OBJECT_0 + 1 ? Heard::ended : Heard::silent;
    }
  }
  if (!GetOverlappedResult(from_helper_.get(), &overlapped, &read, FALSE) || read == 0)
    return Heard::ended;
  return Heard::something;
}

// A line from the helper: its greeting first, then one answer per question
// in the order they were written. Anything else loses it.
void Win32LoadProbe::take(const std::string& line) {
  heard_at_ = GetTickCount64();
  const Json parsed = Json::parse(line, nullptr, false);
  if (!greeted_) {
    if (parsed.is_object() && parsed.contains("ready")) {
      greeted_ = true;
      failed_starts_ = 0;
      return;
    }
  } else if (std::optional<LoadAnswer> answer = answer_from(parsed); answer && !in_flight_.empty()) {
    Question& question = questions_[in_flight_.front()];
    in_flight_.pop_front();
    question.answer = std::move(*answer);
    question.answered = true;
    return;
  }
  lose_helper(Loss::garbled);
}

// The helper is gone, or ended here. A helper that never greeted failed to
// start, which says nothing about any library. Otherwise the question it was
// working on is charged only when it was its first; the questions it held
// go to a fresh helper, the first of them first.
void Win32LoadProbe::lose_helper(Loss how) {
  LoadDetails loss;
  if (how == Loss::silent) {
    loss.timed_out = true;
  } else if (how == Loss::ended) {
    loss.ended = true;
    DWORD code = 0;
    if (WaitForSingleObject(process_.get(), kEndingPatience) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(process_.get(), &code))
      loss.exit_code = code;
  }
  const bool started = greeted_;
  std::deque<std::size_t> held = std::move(in_flight_);
  const bool working_on_first = has_first_ && !held.empty() && held.front() == first_;
  end_helper();

  if (!started) {
    ++failed_starts_;
  } else if (!held.empty()) {
    Question& working = questions_[held.front()];
    working.suspect = true;
    working.loss = loss;
    if (working_on_first) {
      working.answered = true;
      working.answer = LoadAnswer{false, loss};
      held.pop_front();
    }
  }
  std::erase_if(held, [&](std::size_t index) { return !questions_[index].wanted; });
  if (held.empty() || !launch_with_retry()) return;
  for (std::size_t index : held) send(index);
}

// Ended at once: no library's unload code runs, and nothing is waited on.
void Win32LoadProbe::end_helper() {
  if (process_) TerminateProcess(process_.get(), kHelperEndedByProgram);
  process_.reset();
  process_id_ = 0;
  to_helper_.reset();
  from_helper_.reset();
  received_.clear();
  in_flight_.clear();
  has_first_ = false;
  greeted_ = false;
}

}  // namespace tarnwick::win32
