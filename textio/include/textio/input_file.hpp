// The input of a run: a named file, or standard input for "-", read as raw
// bytes (line ends are the reader's business). Messages name the file as the
// user gave it, "<stdin>" for standard input.
#pragma once

#include <cstdint>
#include <string>

#include "error.hpp"
#include "int_reader.hpp"
#include "system.hpp"

namespace textio {

class InputFile final : public ByteSource {
 public:
  // Throws Error "name: reason" if the file cannot be opened for reading.
  explicit InputFile(const std::string& path)
      : name_(path == "-" ? "<stdin>" : path), standard_(path == "-") {
    if (standard_) {
      file_ = sys::standard_input();
    } else {
      file_ = sys::open_for_reading(path);
      if (file_ == sys::kNoHandle) throw Error(name_ + ": " + sys::last_error_text());
      if (sys::is_directory(file_)) {
        sys::close_file(file_);
        throw Error(name_ + ": " + sys::errno_text(EISDIR));
      }
    }
    const std::int64_t size = sys::regular_size(file_);
    size_bound_ = size >= 0 ? static_cast<std::uint64_t>(size) : kUnknownSize;
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() { close(); }

  const std::string& name() const { return name_; }

  std::size_t read(char* into, std::size_t capacity) override {
    const std::int64_t got = sys::read_some(file_, into, capacity);
    if (got < 0) throw Error(name_ + ": " + sys::last_error_text());
    return static_cast<std::size_t>(got);
  }

  std::uint64_t size_bound() const override { return size_bound_; }

  // Closes the file before the run replaces its output: the two may be the
  // same file, and Windows replaces no file that is open.
  void close() {
    if (!standard_ && file_ != sys::kNoHandle) sys::close_file(file_);
    file_ = sys::kNoHandle;
  }

 private:
  std::string name_;
  bool standard_;
  sys::Handle file_ = sys::kNoHandle;
  std::uint64_t size_bound_ = kUnknownSize;
};

}  // namespace textio
