// An output file that appears whole or not at all.
//
// The text goes to a new file beside the target, created exclusively so that
// no file of the user's is ever overwritten by accident; only when all of it
// has been written and the file closed without error is it renamed over the
// target. On any failure, and when the object is destroyed without commit(),
// the temporary file is removed and an earlier target stays as it was.
//
// Text is gathered in a fixed buffer and written in large blocks; lines end
// with the platform's text line end (kLineEnd).
#pragma once

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "error.hpp"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#endif

namespace textio {

#ifdef _WIN32
inline constexpr std::string_view kLineEnd = "\r\n";
#else
inline constexpr std::string_view kLineEnd = "\n";
#endif

// Writes the line end at `out`; returns the end.
inline char* write_line_end(char* out) {
  for (const char c : kLineEnd) *out++ = c;
  return out;
}

namespace detail {

// Creates `path` for writing in binary mode, failing if it exists.
inline std::FILE* create_exclusively(const std::string& path) {
#ifdef _WIN32
  // The C runtime that MinGW links by default predates fopen's "x" flag.
  const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                       _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
  return file;
#else
  return std::fopen(path.c_str(), "wbx");
#endif
}

// Replaces `target` by `source`, also where the platform's plain rename
// refuses an existing target.
inline std::error_code replace_file(const std::string& source, const std::string& target) {
  std::error_code error;
  std::filesystem::rename(std::filesystem::u8path(source), std::filesystem::u8path(target), error);
  return error;
}

// The temporary file being written, so that an interrupt can remove it.
inline char pending_path[4096];
inline std::atomic<bool> pending{false};

extern "C" inline void remove_pending_and_reraise(int signal_number) {
  if (pending.load()) std::remove(pending_path);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

}  // namespace detail

class OutputFile {
 public:
  static constexpr std::size_t kBufferSize = std::size_t{1} << 18;

  // Creates the temporary file beside `target`. Throws Error on failure.
  explicit OutputFile(std::string target) : target_(std::move(target)), buffer_(kBufferSize) {
    std::random_device entropy;
    std::mt19937_64 pick(entropy() ^ static_cast<std::uint64_t>(
                                         std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100 && file_ == nullptr; ++attempt) {
      temporary_ = target_ + "." + random_tag(pick) + ".tmp";
      errno = 0;
      file_ = detail::create_exclusively(temporary_);
      if (file_ == nullptr && errno != EEXIST) break;
    }
    if (file_ == nullptr) fail_with_errno(target_, errno);
    std::setvbuf(file_, nullptr, _IONBF, 0);  // our buffer is the only one
    if (temporary_.size() < sizeof detail::pending_path) {
      std::memcpy(detail::pending_path, temporary_.c_str(), temporary_.size() + 1);
      detail::pending.store(true);
      std::signal(SIGINT, detail::remove_pending_and_reraise);
      std::signal(SIGTERM, detail::remove_pending_and_reraise);
    }
    cursor_ = buffer_.data();
  }

  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  ~OutputFile() { discard(); }

  // Room for up to `max_bytes` (at most kBufferSize): returns where to write
  // them; finish with end_write() at the first byte not written.
  char* begin_write(std::size_t max_bytes) {
    if (static_cast<std::size_t>(buffer_.data() + buffer_.size() - cursor_) < max_bytes) flush();
    return cursor_;
  }
  void end_write(char* end) { cursor_ = end; }

  void write(std::string_view text) {
    while (!text.empty()) {
      const std::size_t room = static_cast<std::size_t>(buffer_.data() + buffer_.size() - cursor_);
      const std::size_t part = text.size() < room ? text.size() : room;
      std::memcpy(cursor_, text.data(), part);
      cursor_ += part;
      text.remove_prefix(part);
      if (!text.empty()) flush();
    }
  }

  // Writes what is buffered, closes the file and renames it over the target.
  // Throws Error, with the temporary file removed, if any of it fails.
  void commit() {
    flush();
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    if (std::fclose(file) != 0) {
      const int error_number = errno;
      discard();
      fail_with_errno(target_, error_number);
    }
    if (const std::error_code error = detail::replace_file(temporary_, target_)) {
      discard();
      throw Error(target_ + ": " + error.message());
    }
    forget_pending();
    committed_ = true;
  }

 private:
  static std::string random_tag(std::mt19937_64& pick) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string tag(8, 'x');
    for (char& c : tag) c = letters[pick() % (sizeof letters - 1)];
    return tag;
  }

  void flush() {
    const auto size = static_cast<std::size_t>(cursor_ - buffer_.data());
    cursor_ = buffer_.data();
    if (size == 0) return;
    if (file_ == nullptr) throw Error(target_ + ": written after a failure");
    errno = 0;
    if (std::fwrite(buffer_.data(), 1, size, file_) != size) {
      const int error_number = errno;
      discard();
      fail_with_errno(target_, error_number);
    }
  }

  void discard() {
    if (committed_) return;
    if (file_ != nullptr) {
      std::fclose(file_);
      file_ = nullptr;
    }
    if (!temporary_.empty()) std::remove(temporary_.c_str());
    temporary_.clear();
    forget_pending();
  }

  static void forget_pending() {
    if (detail::pending.exchange(false)) {
      std::signal(SIGINT, SIG_DFL);
      std::signal(SIGTERM, SIG_DFL);
    }
  }

  std::string target_;
  std::string temporary_;
  std::FILE* file_ = nullptr;
  std::vector<char> buffer_;
  char* cursor_ = nullptr;
  bool committed_ = false;
};

}  // namespace textio
