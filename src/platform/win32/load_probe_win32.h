#pragma once

#include <windows.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/load_probe.h"
#include "platform/win32/handles.h"

namespace tarnwick::win32 {

// The load probe, both ends of it. The program asks its load questions of a
// helper: a copy of its own file, started with a private switch, in the same
// current folder and with the same environment, so that a load by bare name
// searches exactly where the program's own would. Both ends load through one
// routine, `load_here`, so the helper loads exactly as the program would.
//
// The conversation, one line each way, UTF-8:
//   helper:  {"ready":true}                     once, first
//   program: "component"  helper: {"loads":...}
//   program: "load <name>"  helper: {"loads":..., "loaded_from":..., ...}
// The program writes its questions as soon as it has them and never waits
// for the greeting; the helper answers in order.

// The exit codes of a helper ended by its program once its last answer was
// in, and of one that saw its program end first.
inline constexpr UINT kHelperEndedByProgram = 0x7E4D;
inline constexpr UINT kHelperEndedWithProgram = 0x7E4E;

// Whether this start of the program is a load-probe helper: its command line
// ends in the private switch and the handles the program passed with it.
bool is_load_probe_helper(const wchar_t* command_line);

// The helper: answers the questions until its input closes or its program
// ends, then ends itself without running any library's unload code. Makes no
// window.
int run_load_probe_helper();

// The one load attempt, in the process that calls it: a load of `name` by the
// system's own search, undone at once. It runs the library's code.
LoadAnswer load_here(const std::string& name);

// How a helper is started: the program's file, its command line, and the
// only handles it may inherit. The real start is `start_helper_process`; a
// test puts in one the system refuses.
using StartHelper = std::function<bool(const std::wstring& program, std::wstring& command_line,
                                       const std::vector<HANDLE>& inherited,
                                       PROCESS_INFORMATION& started)>;
bool start_helper_process(const std::wstring& program, std::wstring& command_line,
                          const std::vector<HANDLE>& inherited, PROCESS_INFORMATION& started);

// The program's end. A helper that ends or hangs while it tests a name is
// proof against that name only when the name was its first question: a
// library that ends its process a moment after it loaded must not cost the
// next one. Any other question it held goes to a fresh helper, first. A
// helper the system will not start gets one more try; only when that fails
// too are the loads made in this process, and `loads_in_process` says so.
class Win32LoadProbe : public LoadProbe {
 public:
  explicit Win32LoadProbe(StartHelper start_helper = start_helper_process);
  ~Win32LoadProbe() override;
  Win32LoadProbe(const Win32LoadProbe&) = delete;
  Win32LoadProbe& operator=(const Win32LoadProbe&) = delete;

  void start() override;
  void ask_ahead(const std::string& name) override;
  LoadAnswer try_load(const std::string& name) override;
  bool component_answers() override;
  bool loads_in_process() const override { return answered_in_process_; }
  void finish() override;

  // For the tests of the probe itself: helpers started, and the one running.
  int helpers_started() const { return helpers_started_; }
  DWORD helper_process_id() const;

 private:
  struct Question {
    std::string request;  // the line written, without its line break
    DWORD patience_ms = 0;
    ULONGLONG sent_at = 0;
    bool wanted = true;   // false once a later question was taken before it
    bool suspect = false; // a helper was lost while it tested this one
    LoadDetails loss;     // what became of that helper
    bool answered = false;
    LoadAnswer answer;
  };
  enum class Heard { something, ended, silent };
  enum class Loss { ended, silent, garbled };

  std::size_t ask(std::string request, DWORD patience_ms);
  std::size_t find_or_ask(const std::string& request, DWORD patience_ms);
  const LoadAnswer& await(std::size_t index);
  void answer_in_process(Question& question);
  bool launch_with_retry();
  bool launch();
  void send(std::size_t index);
  Heard read_line(std::string& line, ULONGLONG deadline);
  Heard read_some(char* buffer, DWORD size, DWORD& read, DWORD patience_ms);
  void take(const std::string& line);
  void lose_helper(Loss how);
  void end_helper();

  StartHelper start_helper_;
  std::vector<Question> questions_;
  std::size_t next_to_take_ = 0;  // questions before it are answered or withdrawn
  bool component_asked_ = false;

  // The helper of the moment and what it holds.
  ScopedHandle job_;
  ScopedHandle process_;
  DWORD process_id_ = 0;
  ScopedHandle to_helper_;
  ScopedHandle from_helper_;
  ScopedHandle read_done_;  // the event an overlapped read of from_helper_ sets
  std::string received_;
  std::deque<std::size_t> in_flight_;  // questions written to it, not yet answered
  bool has_first_ = false;
  std::size_t first_ = 0;  // its first question
  bool greeted_ = false;
  ULONGLONG started_at_ = 0;
  ULONGLONG heard_at_ = 0;  // when it last said anything

  int helpers_started_ = 0;
  int failed_starts_ = 0;  // in a row, since the last helper that greeted
  bool no_helper_ = false;
  bool answered_in_process_ = false;
};

}  // namespace tarnwick::win32
