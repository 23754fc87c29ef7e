#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/handles.h"

namespace tarnwick::win32 {

// How a helper is started: the program's file, its command line, and the
// only handles it may inherit. The real start is `start_helper_process`; a
// test puts in one the system refuses.
using StartHelper = std::function<bool(const std::wstring& program, std::wstring& command_line,
                                       const std::vector<HANDLE>& inherited,
                                       PROCESS_INFORMATION& started)>;

// Starts the helper suspended with no standard handles, inheriting only the
// handles named.
bool start_helper_process(const std::wstring& program, std::wstring& command_line,
                          const std::vector<HANDLE>& inherited, PROCESS_INFORMATION& started);

// What the program holds of one running helper.
struct HelperProcess {
  ScopedHandle process;
  // The helper and whatever a library starts from it: ended with the helper.
  ScopedHandle job;
  ScopedHandle to_helper;
  ScopedHandle from_helper;  // overlapped reads
  // The secret that signs the helper's lines, handed over on its input.
  std::string token;
};

// A helper started and told its token; none when the system will not start
// one.
std::optional<HelperProcess> launch_helper(const StartHelper& start);

// Ends the helper at once, and every process its job holds: no library's
// unload code runs.
void end_helper_process(HelperProcess& helper, UINT exit_code);

// The program's own file as a process can be started from it: where its full
// path is too long for process creation, its short form; empty when there is
// no such form.
std::wstring startable_path(const std::wstring& file);

}  // namespace tarnwick::win32
