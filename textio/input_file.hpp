// An input file opened for reading in binary mode, closed on scope exit.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

#include "error.hpp"

namespace textio {

class InputFile {
 public:
  // Throws Error "name: reason" if the file cannot be opened.
  explicit InputFile(std::string name) : name_(std::move(name)) {
    errno = 0;
    file_ = std::fopen(name_.c_str(), "rb");
    if (file_ == nullptr) fail_with_errno(name_, errno);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() { std::fclose(file_); }

  std::FILE* get() const { return file_; }
  const std::string& name() const { return name_; }

  // The file's size in bytes where it is known (a regular file), else the
  // largest value: a bound on what reading it can yield.
  std::uint64_t size_bound() const {
    std::error_code error;
    const auto path = std::filesystem::u8path(name_);
    if (std::filesystem::is_regular_file(path, error)) {
      const std::uintmax_t size = std::filesystem::file_size(path, error);
      if (!error) return size;
    }
    return std::numeric_limits<std::uint64_t>::max();
  }

 private:
  std::string name_;
  std::FILE* file_ = nullptr;
};

}  // namespace textio
