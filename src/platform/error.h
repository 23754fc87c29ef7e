#pragma once

#include <stdexcept>
#include <string>

namespace tarnwick {

// The one failure type of the system. It is raised where a failure happens
// and caught by the load sequence's trap or at a window-procedure boundary.
class SystemError : public std::runtime_error {
 public:
  SystemError(long number, std::string source, std::string description)
      : std::runtime_error(description),
        number_(number),
        source_(std::move(source)),
        description_(std::move(description)) {}

  long number() const { return number_; }
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }

 private:
  long number_;
  std::string source_;
  std::string description_;
};

}  // namespace tarnwick
