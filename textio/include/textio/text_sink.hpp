// Where the programs' cores write their lines: a fixed buffer that is
// emptied into the destination in large blocks. The destination (a file, a
// stream, a string in a test) is the derived class's business; the cores see
// only this.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace textio {

#ifdef _WIN32
inline constexpr std::string_view kLineEnd = "\r\n";
#else
inline constexpr std::string_view kLineEnd = "\n";
#endif

// Writes the platform's text line end at `out`; returns the end.
inline char* write_line_end(char* out) {
  for (const char c : kLineEnd) *out++ = c;
  return out;
}

class TextSink {
 public:
  static constexpr std::size_t kBufferSize = std::size_t{1} << 18;

  TextSink(const TextSink&) = delete;
  TextSink& operator=(const TextSink&) = delete;

  // Room for up to `max_bytes` (at most kBufferSize): returns where to write
  // them; finish with end_write() at the first byte not written.
  char* begin_write(std::size_t max_bytes) {
    if (static_cast<std::size_t>(limit_ - cursor_) < max_bytes) drain();
    return cursor_;
  }
  void end_write(char* end) { cursor_ = end; }

  void write(std::string_view text) {
    while (!text.empty()) {
      const auto room = static_cast<std::size_t>(limit_ - cursor_);
      const std::size_t part = text.size() < room ? text.size() : room;
      std::memcpy(cursor_, text.data(), part);
      cursor_ += part;
      text.remove_prefix(part);
      if (!text.empty()) drain();
    }
  }

  // Passes everything buffered on to the destination.
  void drain() {
    const auto size = static_cast<std::size_t>(cursor_ - buffer_.get());
    cursor_ = buffer_.get();
    if (size != 0) write_block(buffer_.get(), size);
  }

 protected:
  // The buffer is left uninitialised: only what is written is touched.
  TextSink()
      : buffer_(new char[kBufferSize]), cursor_(buffer_.get()), limit_(cursor_ + kBufferSize) {}
  ~TextSink() = default;

  // Writes the block to the destination; throws textio::Error on failure.
  virtual void write_block(const char* data, std::size_t size) = 0;

 private:
  std::unique_ptr<char[]> buffer_;
  char* cursor_;
  char* limit_;
};

// Collects the text in memory: for tests and fuzzers.
class StringSink final : public TextSink {
 public:
  StringSink() = default;
  // Everything written so far.
  const std::string& text() {
    drain();
    return text_;
  }

 private:
  void write_block(const char* data, std::size_t size) override { text_.append(data, size); }
  std::string text_;
};

}  // namespace textio
