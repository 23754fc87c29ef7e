#include "probe/load_probe_win32.h"

#include <algorithm>
#include <utility>

#include "probe/helper_win32.h"
#include "probe/load_attempt_win32.h"

namespace tarnwick::win32 {

namespace {

// How long a helper may take. A cold start of the system's loader can take
// seconds; a load or the component's version query never should. A question
// is given its patience from the later of its sending and the helper's last
// word, so that the program's own pace never counts against a library.
constexpr DWORD kStartPatience = 20000;  // milliseconds, until the greeting
constexpr DWORD kLoadPatience = 4000;
constexpr DWORD kComponentPatience = 10000;
// After its answer: the explanation of a failure may read files on a slow
// share, and has its own patience; freeing a library that loaded has a load's.
constexpr DWORD kExplainPatience = 10000;
// A helper whose pipe broke is ending; this long is given to it to be gone,
// so that its exit code can be read.
constexpr DWORD kEndingPatience = 1000;

}  // namespace

Win32LoadProbe::Win32LoadProbe(StartHelper start_helper)
    : start_helper_(std::move(start_helper)) {}

Win32LoadProbe::~Win32LoadProbe() { end_helper(); }

void Win32LoadProbe::start() {
  if (component_asked_) return;
  component_asked_ = true;
  ask(probe::Ask::component, {});
}

void Win32LoadProbe::ask_ahead(const std::string& name) { ask(probe::Ask::load, name); }

LoadAnswer Win32LoadProbe::try_load(const std::string& name) {
  return await(find_or_ask(probe::Ask::load, name));
}

bool Win32LoadProbe::component_answers() {
  start();
  return await(find_or_ask(probe::Ask::component, {})).loads;
}

void Win32LoadProbe::finish() { end_helper(); }

std::size_t Win32LoadProbe::ask(probe::Ask ask, const std::string& name) {
  Question question;
  question.ask = ask;
  question.name = name;
  question.patience_ms = ask == probe::Ask::component ? kComponentPatience : kLoadPatience;
  questions_.push_back(std::move(question));
  const std::size_t index = questions_.size() - 1;
  if (!no_helper_ && (helper_ || launch_with_retry())) send(index);
  return index;
}

// The first question at or after the next one to take that asks the same,
// asked now when there is none. The questions passed over are withdrawn.
std::size_t Win32LoadProbe::find_or_ask(probe::Ask ask, const std::string& name) {
  std::size_t index = next_to_take_;
  while (index < questions_.size() &&
         (questions_[index].repeat || questions_[index].ask != ask || questions_[index].name != name))
    ++index;
  if (index == questions_.size()) index = this->ask(ask, name);
  for (std::size_t passed = next_to_take_; passed < index; ++passed)
    questions_[passed].wanted = false;
  next_to_take_ = index + 1;
  return index;
}

// A load that failed is settled once its explanation is in or given up on.
bool Win32LoadProbe::settled(std::size_t index) const {
  const Question& question = questions_[index];
  return question.answer && (question.answer->loads || question.done);
}

const LoadAnswer& Win32LoadProbe::await(std::size_t index) {
  while (!settled(index)) {
    Question& question = questions_[index];
    if (no_helper_) {
      answer_in_process(question);
      continue;
    }
    if (std::find(in_flight_.begin(), in_flight_.end(), index) == in_flight_.end()) {
      // Its helper was lost after the answer: the explanation never comes.
      if (question.answer) question.done = true;
      // Asked before the helper was ended (finish): it goes to a new one.
      else if (helper_ || launch_with_retry()) send(index);
      continue;
    }
    std::string line;
    switch (read_line(line, deadline())) {
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
  return *questions_[index].answer;
}

// Where no helper can be had. A question a helper was lost on is never let
// into this process: it may be what ended that helper.
void Win32LoadProbe::answer_in_process(Question& question) {
  question.done = true;
  if (question.answer) return;
  if (question.loss) {
    question.answer = LoadAnswer{false, *question.loss};
    return;
  }
  answered_in_process_ = true;
  if (question.ask == probe::Ask::component)
    // Nothing can be asked beforehand here: the program's own guarded call
    // decides.
    question.answer = LoadAnswer{true, {}};
  else
    question.answer = load_here(question.name);
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
  std::optional<HelperProcess> started = launch_helper(start_helper_);
  if (!started) return false;
  helper_ = std::move(started);
  started_at_ = heard_at_ = GetTickCount64();
  if (repeat_component_) {
    // What an earlier helper did before its questions, this one does too: a
    // library the component's call loaded is there for the loads after it.
    Question repeat;
    repeat.ask = probe::Ask::component;
    repeat.patience_ms = kComponentPatience;
    repeat.wanted = false;
    repeat.repeat = true;
    questions_.push_back(std::move(repeat));
    send(questions_.size() - 1);
  }
  return true;
}

void Win32LoadProbe::send(std::size_t index) {
  Question& question = questions_[index];
  question.sent_at = GetTickCount64();
  if (!first_ && !question.repeat) first_ = index;
  in_flight_.push_back(index);
  // A helper already gone fails the write; that is found out when an answer
  // is awaited.
  const std::string line = probe::request_line({index, question.ask, question.name}) + "\n";
  DWORD written = 0;
  WriteFile(helper_->to_helper.get(), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
}

// Until the greeting, the start's patience; then the patience of the step the
// helper is at with the question in hand: its answer, or what follows it.
ULONGLONG Win32LoadProbe::deadline() const {
  if (!greeted_) return started_at_ + kStartPatience;
  const Question& working = questions_[in_flight_.front()];
  if (!working.answer) return std::max(heard_at_, working.sent_at) + working.patience_ms;
  return std::max(heard_at_, working.answered_at) +
         (working.answer->loads ? kLoadPatience : kExplainPatience);
}

// Waits for one line from the helper's pipe until `deadline`.
Win32LoadProbe::Heard Win32LoadProbe::read_line(std::string& line, ULONGLONG deadline) {
  for (;;) {
    if (std::optional<std::string> next = received_.next()) {
      line = std::move(*next);
      return Heard::something;
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return Heard::silent;
    char chunk[4096];
    DWORD read = 0;
    const Heard heard = read_some(chunk, sizeof(chunk), read, static_cast<DWORD>(deadline - now));
    if (heard != Heard::something) return heard;
    received_.feed(std::string_view(chunk, read));
  }
}

// One read of what comes next on the pipe. A read given up on is cancelled
// and waited out, so that nothing is written into the buffer after it is
// gone.
Win32LoadProbe::Heard Win32LoadProbe::read_some(char* buffer, DWORD size, DWORD& read,
                                                DWORD patience_ms) {
  if (!read_done_) read_done_ = ScopedHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!read_done_) return Heard::ended;
  const HANDLE pipe = helper_->from_helper.get();
  OVERLAPPED overlapped{};
  overlapped.hEvent = read_done_.get();
  if (!ReadFile(pipe, buffer, size, nullptr, &overlapped)) {
    if (GetLastError() != ERROR_IO_PENDING) return Heard::ended;  // the pipe broke
    // The helper's end wakes the wait too, whoever else may hold its pipe.
    const HANDLE waits[] = {read_done_.get(), helper_->process.get()};
    const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, patience_ms);
    if (woke != WAIT_OBJECT_0) {
      CancelIo(pipe);
      if (GetOverlappedResult(pipe, &overlapped, &read, TRUE) && read > 0)
        return Heard::something;  // it came as the wait ended
      return woke == WAIT_OBJECT_0 + 1 ? Heard::ended : Heard::silent;
    }
  }
  if (!GetOverlappedResult(pipe, &overlapped, &read, FALSE) || read == 0) return Heard::ended;
  return Heard::something;
}

// A line off the pipe. Only the helper's own lines about the question in
// hand count; whatever else a library wrote is passed over, and does not
// count as the helper's word either.
void Win32LoadProbe::take(const std::string& line) {
  const std::optional<probe::HelperLine> heard = probe::read_helper_line(line, helper_->token);
  if (!heard) return;
  heard_at_ = GetTickCount64();
  if (heard->kind == probe::HelperLine::Kind::greeting) {
    greeted_ = true;
    failed_starts_ = 0;
    return;
  }
  if (in_flight_.empty() || heard->id != in_flight_.front()) return;
  Question& working = questions_[in_flight_.front()];
  if (heard->kind == probe::HelperLine::Kind::answer) {
    if (working.answer) return;
    working.answer = heard->answer;
    working.answered_at = heard_at_;
    if (working.ask == probe::Ask::component && working.answer->loads) repeat_component_ = true;
    return;
  }
  if (!working.answer) return;
  if (!working.answer->loads) {
    LoadDetails& details = working.answer->details;
    const LoadDetails& why = heard->answer.details;
    if (!details.error) details.error = why.error;
    if (!why.message.empty()) details.message = why.message;
    details.machine = why.machine;
    details.missing = why.missing;
  }
  working.done = true;
  in_flight_.pop_front();
}

// The helper is gone, or ended here. A helper that never greeted failed to
// start, which says nothing about any library. One lost after its answer, as
// it freed the library or explained a failure, costs nobody. Otherwise the
// question it was working on is charged only when it was its first; the
// questions it held go to a fresh helper, the first of them first.
void Win32LoadProbe::lose_helper(Loss how) {
  LoadDetails loss;
  if (how == Loss::silent) {
    loss.timed_out = true;
  } else {
    loss.ended = true;
    DWORD code = 0;
    if (WaitForSingleObject(helper_->process.get(), kEndingPatience) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(helper_->process.get(), &code))
      loss.exit_code = code;
  }
  const bool started = greeted_;
  std::deque<std::size_t> held = std::move(in_flight_);
  const std::optional<std::size_t> first = first_;
  end_helper();

  if (!started) {
    ++failed_starts_;
  } else if (!held.empty()) {
    Question& working = questions_[held.front()];
    if (working.answer) {
      working.done = true;
      held.pop_front();
    } else if (working.repeat) {
      // The component's call ended a helper this time: the helpers after it
      // go without it rather than end one by one.
      repeat_component_ = false;
    } else {
      working.loss = loss;
      if (first == held.front()) {
        working.answer = LoadAnswer{false, loss};
        working.done = true;
        held.pop_front();
      }
    }
  }
  std::erase_if(held, [&](std::size_t index) { return !questions_[index].wanted; });
  if (held.empty() || !launch_with_retry()) return;
  for (std::size_t index : held) send(index);
}

// Ended at once with whatever it started: no library's unload code runs, and
// nothing is waited on.
void Win32LoadProbe::end_helper() {
  if (helper_) end_helper_process(*helper_, kHelperEndedByProgram);
  helper_.reset();
  received_ = probe::LineReader();
  in_flight_.clear();
  first_.reset();
  greeted_ = false;
}

}  // namespace tarnwick::win32
