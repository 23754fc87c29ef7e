#pragma once

#include <windows.h>

#include <string>

#include "platform/load_probe.h"
#include "platform/win32/handles.h"

namespace tarnwick::win32 {

// The switch that makes the program a load-probe helper. Private: the helper
// talks only to the copy of the program that started it.
inline constexpr const wchar_t* kLoadProbeHelperSwitch = L"--tarnwick-load-probe-helper";

// The helper's side of the conversation, one line each way, UTF-8:
//   helper: "ready"                      once, when it can take requests
//   program: "load <name>"  helper: "yes" | "no"
//   program: "component"    helper: "yes" | "no"
// The helper ends when its input closes.
namespace load_probe_protocol {
inline constexpr const char* kReady = "ready";
inline constexpr const char* kLoad = "load ";
inline constexpr const char* kComponent = "component";
inline constexpr const char* kYes = "yes";
inline constexpr const char* kNo = "no";
}  // namespace load_probe_protocol

// Asks the load questions of a helper process started from this program's
// own file, in the same current folder and with the same environment, so
// that a load by bare name searches exactly where the program's own would.
// A helper that ends, faults or does not answer in time costs the name it
// was asked about ("cannot be loaded"); the next question goes to a fresh
// helper. Only when no helper can be started at all are the loads tried in
// this process, as a last resort.
class Win32LoadProbe : public LoadProbe {
 public:
  explicit Win32LoadProbe(Kernel32& kernel32) : in_process_(kernel32) {}
  ~Win32LoadProbe() override;
  Win32LoadProbe(const Win32LoadProbe&) = delete;
  Win32LoadProbe& operator=(const Win32LoadProbe&) = delete;

  void start() override;
  bool can_load(const std::string& name) override;
  bool component_answers() override;
  void finish() override;

  // How many helpers were started, and whether the loads fell back to this
  // process; for the tests of the probe itself.
  int helpers_started() const { return helpers_started_; }
  bool fell_back() const { return no_helper_; }

 private:
  enum class Answer { yes, no, lost };

  Answer ask(const std::string& request, DWORD patience_ms);
  bool launch();
  bool read_line(std::string& line, DWORD patience_ms);
  bool read_some(char* buffer, DWORD size, DWORD& read, DWORD patience_ms);
  // Gives the helper a moment to end on its own when `let_it_end`.
  void end_helper(bool let_it_end);

  InProcessLoadProbe in_process_;
  ScopedHandle job_;
  ScopedHandle process_;
  ScopedHandle to_helper_;
  ScopedHandle from_helper_;
  ScopedHandle read_done_;  // the event an overlapped read of from_helper_ sets
  std::string received_;
  int helpers_started_ = 0;
  bool no_helper_ = false;
  bool awaiting_greeting_ = false;
};

}  // namespace tarnwick::win32
