// A strict reader of whitespace-separated signed decimal 32-bit integers.
//
// Separators are space, tab, line feed, vertical tab, form feed and carriage
// return. A value is an optional '+' or '-' followed by decimal digits
// (leading zeros allowed) and must end at a separator or at the end of the
// input. Anything else is reported with its line and column (both from 1,
// columns in bytes). A UTF-8 byte-order mark at the very start is skipped, as
// editors write one; UTF-16 text is refused with a message that says so.
//
// Input is taken from memory as a whole or from a ByteSource in blocks, so
// an input of any size is read without holding it all.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "error.hpp"

namespace textio {

// Bytes in order from somewhere: a file, a stream.
class ByteSource {
 public:
  // Reads up to `capacity` bytes into `into`; returns how many, 0 only at the
  // end of the input. Throws textio::Error on a read error.
  virtual std::size_t read(char* into, std::size_t capacity) = 0;
  // An upper bound on the bytes left to read where one is known (a regular
  // file), else kUnknownSize.
  virtual std::uint64_t size_bound() const { return kUnknownSize; }

  static constexpr std::uint64_t kUnknownSize = std::numeric_limits<std::uint64_t>::max();

 protected:
  ByteSource() = default;
  ByteSource(const ByteSource&) = default;
  ByteSource& operator=(const ByteSource&) = default;
  ~ByteSource() = default;
};

constexpr bool is_separator(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr bool is_digit(int c) { return c >= '0' && c <= '9'; }

class IntReader {
 public:
  enum class Status { value, end, malformed, out_of_range };

  // Reads `text`, which must outlive the reader. `name` is used in messages.
  IntReader(std::string name, std::string_view text)
      : name_(std::move(name)),
        begin_(text.data()),
        pos_(text.data()),
        end_(text.data() + text.size()),
        exhausted_(true),
        size_bound_(text.size()) {
    check_encoding();
  }

  // Reads `source` block by block; `source` must outlive the reader.
  IntReader(std::string name, ByteSource& source, std::size_t block_size = std::size_t{1} << 18)
      : name_(std::move(name)),
        source_(&source),
        storage_(block_size < 64 ? 64 : block_size),
        size_bound_(source.size_bound()) {
    begin_ = pos_ = end_ = storage_.data();
    std::size_t none = 0;
    fetch_keeping_token(none, nullptr);
    check_encoding();
  }

  IntReader(const IntReader&) = delete;
  IntReader& operator=(const IntReader&) = delete;

  // Reads the next value into `value`. Returns Status::end when only
  // separators remain. After malformed or out_of_range, token_line(),
  // token_column() and token_excerpt() describe the offending token, and the
  // reader must not be used further.
  Status next(std::int32_t& value) {
    if (end_ - pos_ >= 2 * kLookahead && read_in_block(value)) return Status::value;
    return next_in_general(value);
  }

  // Reads the next value. Returns false at the end of the input. A bad token
  // throws Error "name:line:column: expected <what>, found '<token>'" (or
  // "... <what> '<token>' is outside the 32-bit integer range"); `what` is
  // called only then, so building its text costs nothing on the good path.
  template <class Describe>
  bool read(std::int32_t& value, Describe&& what) {
    const Status status = next(value);
    if (status == Status::value) return true;
    if (status == Status::end) return false;
    if (status == Status::malformed) {
      fail_here("expected " + std::string(what()) + ", found '" + token_excerpt() + "'");
    }
    fail_here(std::string(what()) + " '" + token_excerpt() +
              "' is outside the 32-bit integer range (-2147483648 to 2147483647)");
  }

  // Throws Error "name:line:column: message" at the last token (or at the
  // end of the input after Status::end).
  [[noreturn]] void fail_here(const std::string& message) const {
    throw Error(name_ + ":" + std::to_string(token_line()) + ":" + std::to_string(token_column()) +
                ": " + message);
  }

  // Throws Error "name: message", for what belongs to no one place.
  [[noreturn]] void fail(const std::string& message) const { throw Error(name_ + ": " + message); }

  const std::string& name() const { return name_; }
  std::uint64_t token_line() const { return token_line_; }
  std::uint64_t token_column() const { return token_offset_ - token_line_start_ + 1; }

  // An upper bound on the input's size in bytes where it is known, else
  // ByteSource::kUnknownSize.
  std::uint64_t size_bound() const { return size_bound_; }

  // The offending token as far as it is in memory, at most 32 bytes, with
  // bytes that are not printable ASCII written as \xNN.
  std::string token_excerpt() const {
    std::string text = clipped_ ? "..." : "";
    const char* p = excerpt_;
    const char* stop = excerpt_end_;
    for (int count = 0; p != stop; ++p, ++count) {
      if (count == kExcerptLength) {
        text += "...";
        break;
      }
      const auto byte = static_cast<unsigned char>(*p);
      if (byte >= 0x20 && byte < 0x7f) {
        text += static_cast<char>(byte);
      } else {
        static const char hex[] = "0123456789abcdef";
        text += "\\x";
        text += hex[byte >> 4];
        text += hex[byte & 15];
      }
    }
    return text;
  }

 private:
  static constexpr std::ptrdiff_t kLookahead = 64;
#if defined(_MSC_VER) || (defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__)
  static constexpr bool kLittleEndian = true;
#else
  static constexpr bool kLittleEndian = false;
#endif
  static constexpr std::size_t kMaxDigits = 10;  // 2147483648 has ten
  static constexpr int kExcerptLength = 32;
  static constexpr int kEnd = -1;  // at() past the end of the input

  std::uint64_t offset_of(const char* p) const {
    return begin_offset_ + static_cast<std::uint64_t>(p - begin_);
  }

  // A UTF-8 byte-order mark is skipped, and the first line's columns count
  // from after it. UTF-16 cannot hold these values as bytes: it is refused.
  void check_encoding() {
    const auto starts_with = [this](std::string_view mark) {
      return static_cast<std::size_t>(end_ - pos_) >= mark.size() &&
             std::memcmp(pos_, mark.data(), mark.size()) == 0;
    };
    if (starts_with("\xEF\xBB\xBF")) {
      pos_ += 3;
      line_start_ = token_line_start_ = token_offset_ = 3;
    } else if (starts_with("\xFF\xFE") || starts_with("\xFE\xFF")) {
      fail(std::string("the file is UTF-16 text (") + (pos_[0] == '\xFF' ? "little" : "big") +
           "-endian); save it as UTF-8 or ANSI text");
    }
  }

  // The value of a sign and a magnitude, if it lies in the 32-bit range.
  static bool to_value(bool negative, std::uint64_t magnitude, std::int32_t& value) {
    if (magnitude > (negative ? std::uint64_t{2147483648} : std::uint64_t{2147483647}))
      return false;
    value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                     : static_cast<std::int32_t>(magnitude);
    return true;
  }

  // Counts the line that a line feed at `p` ends.
  void count_line_end(const char* p) {
    ++line_;
    line_start_ = offset_of(p) + 1;
  }

  // Everything the block path does not cover: the end of the block or of
  // the input, long or malformed tokens. Kept out of line, so that next()
  // stays small enough to inline.
#if defined(__GNUC__)
  __attribute__((noinline))
#elif defined(_MSC_VER)
  __declspec(noinline)
#endif
  Status
  next_in_general(std::int32_t& value) {
    if (!skip_separators()) {
      mark_token();
      return Status::end;
    }
    std::size_t i = 0;
    if (end_ - pos_ < kLookahead) fetch_keeping_token(i, nullptr);
    mark_token();
    clipped_ = false;

    bool negative = false;
    if (pos_[0] == '+' || pos_[0] == '-') {
      negative = pos_[0] == '-';
      i = 1;
    }
    bool any_digit = false;
    while (at(i, nullptr) == '0') {  // leading zeros: any number of them
      any_digit = true;
      ++i;
    }
    // The significant digits stay in memory while they can still form a
    // 32-bit value, so that they can be converted in one piece.
    // Counted, not taken from the indexes: a token longer than the block
    // loses its front, and the indexes move with it.
    std::size_t digits_begin = i;
    std::size_t significant = 0;
    while (is_digit(at(i, significant <= kMaxDigits ? &digits_begin : nullptr))) {
      ++i;
      ++significant;
    }
    const int follower = at(i, nullptr);
    any_digit = any_digit || significant > 0;
    if (!any_digit || (follower != kEnd && !is_separator(follower))) {
      consume_token_rest(i);
      return Status::malformed;
    }
    excerpt_ = pos_;
    excerpt_end_ = pos_ + i;
    std::uint64_t magnitude = 0;
    if (significant > kMaxDigits) {
      magnitude = std::numeric_limits<std::uint64_t>::max();
    } else if (significant > 0) {
      const char* first = pos_ + digits_begin;
      std::from_chars(first, first + significant, magnitude);
    }
    pos_ += i;
    return to_value(negative, magnitude, value) ? Status::value : Status::out_of_range;
  }

  // The common case: separators and then a valid value, all well inside the
  // block, read in one pass. Returns false, with any separators consumed,
  // for anything else; the general path then reads or reports the token.
  bool read_in_block(std::int32_t& value) {
    const char* p = pos_;
    for (const char* const stop = p + kLookahead; is_separator(*p); ++p) {
      if (p == stop) {
        pos_ = p;
        return false;
      }
      if (*p == '\n') count_line_end(p);
    }
    pos_ = p;
    const bool negative = *p == '-';
    const char* const digits = negative || *p == '+' ? p + 1 : p;
    std::uint64_t magnitude = 0;
    const char* end = nullptr;
    if (!short_digit_run(digits, magnitude, end) || !is_separator(*end) ||
        !to_value(negative, magnitude, value)) {
      return false;
    }
    mark_token();
    pos_ = end;
    return true;
  }

  // The run of one to ten digits at `p`, of which at least 16 bytes may be
  // read: its value and its end. False for no digit, or more than ten.
  static bool short_digit_run(const char* p, std::uint64_t& magnitude, const char*& end) {
    if constexpr (!kLittleEndian) {
      const auto [last, error] = std::from_chars(p, p + 11, magnitude);
      end = last;
      return last != p && last - p <= 10 && error == std::errc();
    }
    // Eight bytes at once: digits become the values 0-9, and a byte is no
    // digit if its value, or its value plus 6, reaches 16. (A carry out of
    // the plus 6 starts only at a byte that is no digit, and reaches only
    // the bytes after it.)
    std::uint64_t word = 0;
    std::memcpy(&word, p, 8);
    const std::uint64_t values = word ^ 0x3030303030303030u;
    const std::uint64_t no_digit = (values | (values + 0x0606060606060606u)) & 0xF0F0F0F0F0F0F0F0u;
    const int count = no_digit == 0 ? 8 : lowest_set_bit(no_digit) / 8;
    if (count == 0) return false;
    if (count < 8) {
      magnitude = eight_digit_number(values << (8 * (8 - count)));  // zeros in front
      end = p + count;
      return true;
    }
    magnitude = eight_digit_number(values);
    int past_eight = 0;
    for (p += 8; is_digit(*p); ++p) {
      if (++past_eight > 2) return false;
      magnitude = magnitude * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    end = p;
    return true;
  }

  // The number whose eight digits are the byte values of `values`, the
  // first in the lowest byte: pairs, then fours, then all eight combined
  // by multiplication.
  static std::uint64_t eight_digit_number(std::uint64_t values) {
    values = values * 10 + (values >> 8);
    return (((values & 0x000000FF000000FFu) * 0x000F424000000064u) +
            (((values >> 16) & 0x000000FF000000FFu) * 0x0000271000000001u)) >>
           32;
  }

  static int lowest_set_bit(std::uint64_t word) {
#if defined(__GNUC__)
    return __builtin_ctzll(word);
#else
    int bit = 0;
    for (; (word & 1) == 0; word >>= 1) ++bit;
    return bit;
#endif
  }

  // Remembers where the token at pos_ starts, for messages about it.
  void mark_token() {
    token_line_ = line_;
    token_line_start_ = line_start_;
    token_offset_ = offset_of(pos_);
  }

  // Skips separators, counting lines. Returns false at the end of the input.
  bool skip_separators() {
    for (;;) {
      while (pos_ != end_ && is_separator(*pos_)) {
        if (*pos_ == '\n') count_line_end(pos_);
        ++pos_;
      }
      std::size_t none = 0;
      if (pos_ != end_) return true;
      if (!fetch_keeping_token(none, nullptr)) return false;
    }
  }

  // The byte at index i of the token that starts at pos_, as an unsigned
  // char, fetching more input when needed; kEnd past the end of the input.
  int at(std::size_t& i, std::size_t* keep) {
    if (pos_ + i == end_ && !fetch_keeping_token(i, keep)) return kEnd;
    return static_cast<unsigned char>(pos_[i]);
  }

  // Brings more input into memory, moving the token that starts at pos_ to
  // the front of the block. If the token fills the whole block, its front is
  // dropped up to index *keep (or, without keep, up to the scan index i), and
  // the indexes move with it.
  bool fetch_keeping_token(std::size_t& i, std::size_t* keep) {
    if (exhausted_) return false;
    auto kept = static_cast<std::size_t>(end_ - pos_);
    if (kept == storage_.size()) {
      const std::size_t drop = keep != nullptr ? *keep : i;
      pos_ += drop;
      i -= drop;
      if (keep != nullptr) *keep = 0;
      kept -= drop;
      clipped_ = true;
    }
    char* base = storage_.data();
    begin_offset_ = offset_of(pos_);
    std::memmove(base, pos_, kept);
    begin_ = pos_ = base;
    // A source may return less than asked (a pipe, a terminal): read until
    // the block is full or the input ends.
    std::size_t got = 0;
    const std::size_t wanted = storage_.size() - kept;
    while (got < wanted) {
      const std::size_t part = source_->read(base + kept + got, wanted - got);
      if (part == 0) {
        exhausted_ = true;
        break;
      }
      got += part;
    }
    end_ = base + kept + got;
    return got > 0;
  }

  // Moves past the rest of a malformed token, as far as its excerpt goes.
  void consume_token_rest(std::size_t i) {
    for (int c = at(i, nullptr); c != kEnd && !is_separator(c) && i <= kExcerptLength;
         c = at(i, nullptr)) {
      ++i;
    }
    excerpt_ = pos_;
    excerpt_end_ = pos_ + i;
  }

  std::string name_;
  ByteSource* source_ = nullptr;
  std::vector<char> storage_;
  const char* begin_ = nullptr;  // first byte in memory
  const char* pos_ = nullptr;    // next byte to read
  const char* end_ = nullptr;    // one past the last byte in memory
  bool exhausted_ = false;       // nothing lies beyond end_
  std::uint64_t size_bound_ = ByteSource::kUnknownSize;
  std::uint64_t begin_offset_ = 0;
  std::uint64_t line_ = 1;
  std::uint64_t line_start_ = 0;
  std::uint64_t token_line_ = 1;
  std::uint64_t token_line_start_ = 0;
  std::uint64_t token_offset_ = 0;
  bool clipped_ = false;
  const char* excerpt_ = nullptr;
  const char* excerpt_end_ = nullptr;
};

}  // namespace textio
