// The fuzzer's bytes in a heap block of exactly their size, so that a read
// one byte past the end is caught by AddressSanitizer (a std::string would
// hide it behind its terminator).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : bytes_(new char[size]), size_(size) {
    if (size > 0) std::memcpy(bytes_.get(), data, size);
  }
  std::string_view text() const { return {bytes_.get(), size_}; }

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t size_;
};
