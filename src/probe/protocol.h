#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/load_probe.h"

namespace tarnwick::probe {

// The conversation between the program and its load-probe helper: one line
// each way, UTF-8, "\n" at the end.
//
//   program: <token>                   first, once: a secret of this helper
//   program: <id> component            the component library's load and call
//   program: <id> load <name>          a load of <name> by the system's search
//   helper:  {"token":..,"ready":true}                        once, first
//   helper:  {"token":..,"id":<id>,"loads":..,<details>}      the answer
//   helper:  {"token":..,"id":<id>,"done":true,<details>}     done with it
//
// The helper writes an answer the moment the load returns; only then does it
// free the library and, for a load that failed, explain why, which the done
// line carries. The libraries it loads run inside it and may write on its
// pipes too, so the program takes a line only when it carries the token and
// the id of the question in hand. Everything else is ignored, and every line
// the helper writes starts on a line of its own, so that a half line written
// before it cannot glue onto it.

// The longest line either end takes; a longer one is dropped whole. Room for
// a full-length path in UTF-8 and the longest explanation many times over.
inline constexpr std::size_t kLongestLine = 1 << 20;

enum class Ask { component, load };

struct Request {
  std::uint64_t id = 0;
  Ask ask = Ask::load;
  std::string name;  // for a load
};

std::string request_line(const Request& request);
std::optional<Request> read_request(std::string_view line);

// What the helper says.
struct HelperLine {
  enum class Kind { greeting, answer, done };
  Kind kind = Kind::greeting;
  std::uint64_t id = 0;
  LoadAnswer answer;  // for `done`: the explanation in `answer.details`
};

std::string greeting_line(std::string_view token);
std::string answer_line(std::string_view token, std::uint64_t id, const LoadAnswer& answer);
std::string done_line(std::string_view token, std::uint64_t id, const LoadDetails& explanation);

// The line, when it is one of the helper's lines carrying `token`; nothing
// for anything else, whatever it holds.
std::optional<HelperLine> read_helper_line(std::string_view line, std::string_view token);

// A token in text: the bytes in hexadecimal.
std::string token_text(const unsigned char* bytes, std::size_t count);

// Cuts what comes off a pipe into lines. A line longer than the bound is
// dropped whole, up to its line break, so that neither end's memory is at the
// mercy of whoever else writes on the pipe.
class LineReader {
 public:
  explicit LineReader(std::size_t longest = kLongestLine) : longest_(longest) {}
  void feed(std::string_view bytes);
  // The next whole line, without its line break.
  std::optional<std::string> next();

 private:
  std::size_t longest_;
  std::string received_;
  std::size_t taken_ = 0;      // bytes of received_ already given out
  bool dropping_ = false;      // inside a line over the bound
};

}  // namespace tarnwick::probe
