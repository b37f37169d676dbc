// A byte source that gives its text in pieces of varying size, as a pipe or
// a terminal may: for the reader's tests and its fuzzer.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "textio/int_reader.hpp"

namespace testing_support {

class PieceSource final : public textio::ByteSource {
 public:
  // Pieces of 1 to max_piece bytes, their sizes following `seed`. `text`
  // must outlive the source.
  PieceSource(std::string_view text, std::size_t max_piece, std::uint32_t seed = 1)
      : text_(text), max_piece_(max_piece < 1 ? 1 : max_piece), state_(seed | 1) {}

  std::size_t read(char* into, std::size_t capacity) override {
    state_ = state_ * 1103515245u + 12345u;
    const std::size_t piece =
        std::min({capacity, text_.size() - at_, std::size_t{1} + (state_ >> 8) % max_piece_});
    std::memcpy(into, text_.data() + at_, piece);
    at_ += piece;
    return piece;
  }

 private:
  std::string_view text_;
  std::size_t max_piece_;
  std::uint32_t state_;
  std::size_t at_ = 0;
};

}  // namespace testing_support
