#pragma once

#include <windows.h>

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/load_probe.h"
#include "probe/helper_start_win32.h"
#include "probe/protocol.h"

namespace tarnwick::win32 {

// The program's end of the load probe. The questions go to a helper process
// (probe/helper_win32.h) as soon as they are known; the answers are taken as
// they are needed.
//
// A helper that ends or hangs while it tests a name is proof against that
// name only when the name was its first question: a library that ends its
// process a moment after it loaded must not cost the next one. Any other
// question it held goes to a fresh helper, first. A helper lost after an
// answer, while it freed the library or explained a failure, costs nobody:
// the answer stands. Every helper answers from the same state: where the
// component library loaded and answered in one helper, each later one loads
// and asks it again before its questions. A helper the system will not start
// gets one more try; only when that fails too are the loads made in this
// process, and `loads_in_process` says so.
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

 private:
  struct Question {
    probe::Ask ask = probe::Ask::load;
    std::string name;
    DWORD patience_ms = 0;
    ULONGLONG sent_at = 0;
    bool wanted = true;   // false once a later question was taken before it
    bool repeat = false;  // the component's call, repeated for a fresh helper
    // What became of a helper lost while it tested this one.
    std::optional<LoadDetails> loss;
    std::optional<LoadAnswer> answer;
    ULONGLONG answered_at = 0;
    bool done = false;  // its helper is done with it, or will never say more
  };
  enum class Heard { something, ended, silent };
  enum class Loss { ended, silent };

  std::size_t ask(probe::Ask ask, const std::string& name);
  std::size_t find_or_ask(probe::Ask ask, const std::string& name);
  const LoadAnswer& await(std::size_t index);
  bool settled(std::size_t index) const;
  void answer_in_process(Question& question);
  bool launch_with_retry();
  bool launch();
  void send(std::size_t index);
  ULONGLONG deadline() const;
  Heard read_line(std::string& line, ULONGLONG deadline);
  Heard read_some(char* buffer, DWORD size, DWORD& read, DWORD patience_ms);
  void take(const std::string& line);
  void lose_helper(Loss how);
  void end_helper();

  StartHelper start_helper_;
  std::vector<Question> questions_;  // a question's index is its id
  std::size_t next_to_take_ = 0;     // questions before it are answered or withdrawn
  bool component_asked_ = false;
  bool repeat_component_ = false;    // it loaded and answered in a helper

  // The helper of the moment and what it holds.
  std::optional<HelperProcess> helper_;
  ScopedHandle read_done_;  // the event an overlapped read of its answers sets
  probe::LineReader received_;
  std::deque<std::size_t> in_flight_;  // written to it, and not done
  std::optional<std::size_t> first_;   // its first question of the report's own
  bool greeted_ = false;
  ULONGLONG started_at_ = 0;
  ULONGLONG heard_at_ = 0;  // when it last said anything

  int failed_starts_ = 0;  // in a row, since the last helper that greeted
  bool no_helper_ = false;
  bool answered_in_process_ = false;
};

}  // namespace tarnwick::win32
