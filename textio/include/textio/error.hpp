// Failures that end a run: the message is complete apart from the program
// name, which the caller puts in front ("program: message").
#pragma once

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

namespace textio {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "file: reason" for a failed operation on a file, reason from errno.
[[noreturn]] inline void fail_with_errno(std::string_view file, int error_number) {
  std::string message(file);
  message += ": ";
  message += error_number != 0 ? std::strerror(error_number) : "input/output error";
  throw Error(message);
}

}  // namespace textio
