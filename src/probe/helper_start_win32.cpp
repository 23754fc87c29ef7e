#include "probe/helper_start_win32.h"

#include <ntsecapi.h>

#include <cstdint>

#include "platform/win32/kernel32_win32.h"
#include "probe/helper_win32.h"
#include "probe/protocol.h"

namespace tarnwick::win32 {

namespace {

// Room for every question of a report at once: 38 lines of a name each. The
// program writes without waiting for the helper to read.
constexpr DWORD kQuestionBuffer = 64 * 1024;
// Room for every answer, so that a helper never waits for the program.
constexpr DWORD kAnswerBuffer = 64 * 1024;

// Bytes from the system's generator of secrets: nothing another process could
// work out from the time, the process id or a count.
std::optional<std::string> random_text() {
  unsigned char bytes[16];
  if (!RtlGenRandom(bytes, sizeof(bytes))) return std::nullopt;
  return probe::token_text(bytes, sizeof(bytes));
}

// Access for the user this process runs as, and nobody else.
class OwnerOnly {
 public:
  bool make() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    ScopedHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user_.resize(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user_.data(), size, &size))
      return false;
    const PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    auto* acl = reinterpret_cast<ACL*>(acl_.data());
    return InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) &&
           AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) &&
           InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE);
  }
  SECURITY_ATTRIBUTES* attributes() {
    attributes_ = {sizeof(attributes_), &descriptor_, FALSE};
    return &attributes_;
  }

 private:
  std::vector<unsigned char> user_;
  std::vector<unsigned char> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
};

// The pipe the helper answers on. Its reading end is overlapped, so that a
// wait for an answer sleeps until the answer comes, the helper ends or the
// patience runs out. Its name is unguessable, it is made as the name's first
// instance, and only this user may open it: nobody else can take it first or
// join it.
bool make_answer_pipe(SECURITY_ATTRIBUTES& inheritable, ScopedHandle& reading,
                      ScopedHandle& writing) {
  const std::optional<std::string> secret = random_text();
  OwnerOnly access;
  if (!secret || !access.make()) return false;
  const std::wstring name =
      L"\\\\.\\pipe\\tarnwick-load-probe-" + std::wstring(secret->begin(), secret->end());
  reading = ScopedHandle(CreateNamedPipeW(
      name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
      kAnswerBuffer, 0, access.attributes()));
  if (!reading) return false;
  writing = ScopedHandle(
      CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr));
  return static_cast<bool>(writing);
}

// A job that ends the helper, and whatever a library started from it, when
// the job is ended or this process ends, however it ends.
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

std::wstring handle_text(HANDLE handle) {
  return std::to_wstring(reinterpret_cast<std::uintptr_t>(handle));
}

}  // namespace

std::wstring startable_path(const std::wstring& file) {
  if (file.size() < MAX_PATH) return file;
  // The short form of a path this long is asked for in the form that lifts
  // the length limit, and comes back in it.
  constexpr std::wstring_view kUnlimited = L"\\\\?\\";
  std::wstring short_form = short_path_name(std::wstring(kUnlimited) + file);
  if (short_form.starts_with(kUnlimited)) short_form.erase(0, kUnlimited.size());
  return short_form.size() < MAX_PATH ? short_form : std::wstring();
}

// It inherits only the handles named: a helper must not hold, say, the pipe
// of a standard output whose reader waits for its end. Where the system
// cannot name the handles to inherit, the helper inherits as a plain start
// would.
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

std::optional<HelperProcess> launch_helper(const StartHelper& start) {
  const std::wstring program = startable_path(own_file_name());
  const std::optional<std::string> token = random_text();
  if (program.empty() || !token) return std::nullopt;

  // The helper's ends of the pipes, and a handle of this process for it to
  // watch, are made inheritable and named as the only handles it inherits.
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE input = nullptr, to_helper = nullptr;
  if (!CreatePipe(&input, &to_helper, &inheritable, kQuestionBuffer)) return std::nullopt;
  HelperProcess helper;
  ScopedHandle helper_input(input);
  helper.to_helper = ScopedHandle(to_helper);
  SetHandleInformation(to_helper, HANDLE_FLAG_INHERIT, 0);
  ScopedHandle helper_output;
  if (!make_answer_pipe(inheritable, helper.from_helper, helper_output)) return std::nullopt;
  HANDLE self = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                       SYNCHRONIZE, TRUE, 0))
    return std::nullopt;
  ScopedHandle program_for_helper(self);

  std::wstring command_line = L"\"" + program + L"\" " + kHelperSwitch + L" " +
                              handle_text(helper_input.get()) + L" " +
                              handle_text(helper_output.get()) + L" " + handle_text(self);
  PROCESS_INFORMATION started{};
  if (!start(program, command_line, {helper_input.get(), helper_output.get(), self}, started))
    return std::nullopt;
  helper.process = ScopedHandle(started.hProcess);
  ScopedHandle thread(started.hThread);
  // The system refuses the job where this process is in a job that takes no
  // other (before Windows 8); then the helper's own watch on this process
  // still ends it with the program, and only what a library started from it
  // may outlive it.
  helper.job = make_kill_on_close_job();
  if (helper.job && !AssignProcessToJobObject(helper.job.get(), helper.process.get()))
    helper.job.reset();
  if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
    end_helper_process(helper, kHelperEndedByProgram);
    return std::nullopt;
  }
  // Its token, over the pipe: a command line can be read by any process of
  // this user.
  helper.token = *token;
  const std::string line = helper.token + "\n";
  DWORD written = 0;
  WriteFile(helper.to_helper.get(), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
  return helper;
}

void end_helper_process(HelperProcess& helper, UINT exit_code) {
  if (helper.process) TerminateProcess(helper.process.get(), exit_code);
  if (helper.job) TerminateJobObject(helper.job.get(), exit_code);
  helper = HelperProcess{};
}

}  // namespace tarnwick::win32
