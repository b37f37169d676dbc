// The output of a run, in one of three ways:
//
// - A named file, new or regular: it appears whole or not at all. The text
//   goes to a new file beside it, created exclusively so that no file of
//   the user's is overwritten by accident; only when all of it has been
//   written and the file closed without error is it renamed over the
//   target. On any failure, on an interrupt, and when the object is
//   destroyed without commit(), the temporary file is removed and an earlier
//   target stays as it was. Where the system allows, the new file has no
//   name until the commit (Linux) or is marked for deletion until then
//   (Windows), so that not even a forced end leaves it behind. A symbolic
//   link is followed: the file it points to is replaced, beside itself, and
//   the link stays.
// - An existing file that is not a regular one (a device, FIFO, terminal):
//   written in place, since it cannot be replaced.
// - "-": standard output, written as the text comes.
//
// Every failure to write, close or replace is an Error naming the file as
// the user gave it ("<stdout>" for standard output).
#pragma once

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>

#include "error.hpp"
#include "system.hpp"
#include "text_sink.hpp"

#ifndef _WIN32
#include <csignal>
#endif

namespace textio {

// The calls OutputFile makes to the system, behind one interface so that
// tests can make any of them fail.
class FileOps {
 public:
  virtual ~FileOps() = default;
  virtual sys::Handle create_new(const std::string& path) { return sys::create_new(path); }
  virtual sys::Handle create_unnamed(const std::string& folder) {
    return sys::create_unnamed(folder);
  }
  virtual bool name_unnamed(sys::Handle file, const std::string& path) {
    return sys::name_unnamed(file, path);
  }
  virtual bool write(sys::Handle file, const char* data, std::size_t size) {
    return sys::write_all(file, data, size);
  }
  // Where the system has it (Windows), marks a new file for deletion when
  // closed, or takes the mark away; false if it is not marked.
  virtual bool mark_for_deletion(sys::Handle file, bool marked) {
    return sys::mark_for_deletion(file, marked);
  }
  virtual bool close(sys::Handle file) { return sys::close_file(file); }
  virtual bool replace(const std::string& from, const std::string& to) {
    return sys::replace_file(from, to);
  }
  virtual bool remove(const std::string& path) { return sys::remove_file(path); }
  // Why the last call failed.
  virtual std::string error_text() { return sys::last_error_text(); }

  static FileOps& real() {
    static FileOps ops;
    return ops;
  }
};

namespace detail {

// Temporary files to remove if the process is stopped: a small fixed list,
// since the handler may use nothing that allocates.
inline constexpr int kMaxPending = 4;

#ifdef _WIN32
// A temporary file is marked for deletion while it is written (see
// sys::mark_for_deletion), so the system removes it however the process ends. Only
// while a commit takes the mark away and renames the file is a console
// interrupt held back, and acted on afterwards.
inline SRWLOCK commit_lock = SRWLOCK_INIT;
inline int committing = 0;
inline bool interrupted_in_commit = false;
inline int pending_count = 0;

inline BOOL WINAPI hold_interrupt_in_commit(DWORD) {
  AcquireSRWLockExclusive(&commit_lock);
  const bool hold = committing > 0;
  if (hold) interrupted_in_commit = true;
  ReleaseSRWLockExclusive(&commit_lock);
  // Otherwise the run ends as an interrupted console program does, with a
  // status that says so; the marked temporary file goes with the process.
  if (!hold) ExitProcess(STATUS_CONTROL_C_EXIT);
  return TRUE;
}

inline int arm(const std::string&) {
  if (pending_count == kMaxPending) return -1;
  if (pending_count++ == 0) SetConsoleCtrlHandler(hold_interrupt_in_commit, TRUE);
  return 0;
}

inline void disarm(int) {
  if (--pending_count == 0) SetConsoleCtrlHandler(hold_interrupt_in_commit, FALSE);
}

class CommitGuard {
 public:
  CommitGuard() { set(+1); }
  ~CommitGuard() {
    set(-1);
    AcquireSRWLockExclusive(&commit_lock);
    const bool interrupted = interrupted_in_commit && committing == 0;
    ReleaseSRWLockExclusive(&commit_lock);
    if (interrupted) ExitProcess(STATUS_CONTROL_C_EXIT);
  }
  CommitGuard(const CommitGuard&) = delete;
  CommitGuard& operator=(const CommitGuard&) = delete;

 private:
  static void set(int change) {
    AcquireSRWLockExclusive(&commit_lock);
    committing += change;
    ReleaseSRWLockExclusive(&commit_lock);
  }
};
#else
// The signals that stop a run: an interrupt, a request to end, the terminal
// closing. Their handler removes the temporary files and then lets the
// signal do what it did before.
inline constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
inline constexpr int kStopSignalCount = 3;

struct PendingFile {
  std::atomic<bool> armed{false};
  char path[4096] = {};
};
static_assert(std::atomic<bool>::is_always_lock_free, "the handler reads it");

inline PendingFile pending_files[kMaxPending];
inline struct sigaction previous_actions[kStopSignalCount];
inline bool handler_installed[kStopSignalCount] = {};
inline int pending_count = 0;

extern "C" inline void remove_pending_and_resignal(int signal_number) {
  for (PendingFile& file : pending_files) {
    if (file.armed.load()) ::unlink(file.path);  // async-signal-safe
  }
  for (int i = 0; i < kStopSignalCount; ++i) {
    if (kStopSignals[i] == signal_number) sigaction(signal_number, &previous_actions[i], nullptr);
  }
  raise(signal_number);
}

// Holds the stop signals back while a temporary file is created and listed,
// or renamed and struck off, so that none lands in between.
class CommitGuard {
 public:
  CommitGuard() {
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal_number : kStopSignals) sigaddset(&stops, signal_number);
    sigprocmask(SIG_BLOCK, &stops, &saved_);
  }
  ~CommitGuard() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
  CommitGuard(const CommitGuard&) = delete;
  CommitGuard& operator=(const CommitGuard&) = delete;

 private:
  sigset_t saved_;
};

// Lists `path` for removal on a stop signal; returns its slot, or -1 if the
// list is full. The handler goes in where a signal is not ignored (a
// caller's choice to ignore one stands) when the first file is listed.
inline int arm(const std::string& path) {
  if (path.size() >= sizeof pending_files[0].path) return -1;
  for (int slot = 0; slot < kMaxPending; ++slot) {
    PendingFile& file = pending_files[slot];
    if (file.armed.load()) continue;
    path.copy(file.path, path.size());
    file.path[path.size()] = '\0';
    file.armed.store(true);
    if (pending_count++ == 0) {
      for (int i = 0; i < kStopSignalCount; ++i) {
        struct sigaction current {};
        sigaction(kStopSignals[i], nullptr, &current);
        handler_installed[i] = current.sa_handler != SIG_IGN;
        if (!handler_installed[i]) continue;
        struct sigaction action {};
        action.sa_handler = remove_pending_and_resignal;
        sigemptyset(&action.sa_mask);
        for (const int other : kStopSignals) sigaddset(&action.sa_mask, other);
        sigaction(kStopSignals[i], &action, &previous_actions[i]);
      }
    }
    return slot;
  }
  return -1;
}

// Strikes the file off; the last one off puts back exactly the actions that
// were there before.
inline void disarm(int slot) {
  pending_files[slot].armed.store(false);
  if (--pending_count == 0) {
    for (int i = 0; i < kStopSignalCount; ++i) {
      if (handler_installed[i]) sigaction(kStopSignals[i], &previous_actions[i], nullptr);
      handler_installed[i] = false;
    }
  }
}
#endif

}  // namespace detail

class OutputFile final : public TextSink {
 public:
  // `path` as the user gave it; "-" is standard output. Throws Error if the
  // output cannot be made.
  explicit OutputFile(const std::string& path, FileOps& ops = FileOps::real())
      : ops_(ops), name_(path == "-" ? "<stdout>" : path) {
    if (path == "-") {
      mode_ = Mode::stream;
      file_ = sys::standard_output();
      return;
    }
    target_ = path;
    std::string reason;
    if (!sys::resolve_links(target_, reason)) fail(reason);
    switch (sys::kind_of(target_)) {
      case sys::Kind::directory:
        fail(sys::errno_text(EISDIR));
      case sys::Kind::other:
        mode_ = Mode::in_place;
        file_ = sys::open_in_place(target_);
        if (file_ == sys::kNoHandle) fail(sys::last_error_text());
        return;
      case sys::Kind::missing:
      case sys::Kind::regular:
        create_temporary();
        return;
    }
  }

  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  ~OutputFile() { discard(); }

  const std::string& name() const { return name_; }

  // Writes what is buffered and, for a named file, closes it and renames it
  // over the target. Throws Error, with the temporary file removed, if any
  // of it fails.
  void commit() {
    drain();
    if (mode_ == Mode::stream) {
      committed_ = true;
      return;
    }
    if (mode_ == Mode::in_place) {
      const sys::Handle file = file_;
      file_ = sys::kNoHandle;
      if (!ops_.close(file)) fail(ops_.error_text());
      committed_ = true;
      return;
    }
    const detail::CommitGuard guard;
    if (unnamed_) {
      name_temporary([this](const std::string& name) { return ops_.name_unnamed(file_, name); });
      unnamed_ = false;
    }
    if (marked_for_deletion_) {
      if (!ops_.mark_for_deletion(file_, false)) fail_and_discard(ops_.error_text());
      marked_for_deletion_ = false;
    }
    const sys::Handle file = file_;
    file_ = sys::kNoHandle;
    if (!ops_.close(file)) fail_and_discard(ops_.error_text());
    if (!ops_.replace(temporary_, target_)) fail_and_discard(ops_.error_text());
    temporary_.clear();
    detail::disarm(pending_slot_);
    pending_slot_ = -1;
    committed_ = true;
  }

 private:
  enum class Mode { replace, in_place, stream };

  void write_block(const char* data, std::size_t size) override {
    if (file_ == sys::kNoHandle) fail("written after a failure");
    if (!ops_.write(file_, data, size)) fail_and_discard(ops_.error_text());
  }

  void create_temporary() {
    const detail::CommitGuard guard;
    file_ = ops_.create_unnamed(sys::folder_of(target_));
    if (file_ != sys::kNoHandle) {
      unnamed_ = true;
    } else {
      name_temporary([this](const std::string& name) {
        file_ = ops_.create_new(name);
        return file_ != sys::kNoHandle;
      });
      marked_for_deletion_ = ops_.mark_for_deletion(file_, true);
    }
    sys::copy_permissions(target_, file_);
  }

  // Picks a free name beside the target, "<target>.<random>.tmp", for
  // make(name), which fails if the name exists; lists it for removal on a
  // stop signal. Requires a CommitGuard.
  template <class Make>
  void name_temporary(Make&& make) {
    std::random_device entropy;
    std::mt19937_64 pick(
        entropy() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    bool made = false;
    for (int attempt = 0; attempt < 100 && !made; ++attempt) {
      temporary_ = target_ + "." + random_tag(pick) + ".tmp";
      made = make(temporary_);
      if (!made && !sys::created_exists_error()) break;
    }
    if (!made) {
      const std::string reason = ops_.error_text();
      temporary_.clear();
      fail_and_discard(reason);
    }
    pending_slot_ = detail::arm(temporary_);
    if (pending_slot_ < 0) fail_and_discard("too many output files at once");
  }

  static std::string random_tag(std::mt19937_64& pick) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string tag(8, 'x');
    for (char& c : tag) c = letters[pick() % (sizeof letters - 1)];
    return tag;
  }

  [[noreturn]] void fail(const std::string& reason) const { throw Error(name_ + ": " + reason); }

  [[noreturn]] void fail_and_discard(const std::string& reason) {
    discard();
    fail(reason);
  }

  // Closes the file and removes the temporary one, if any.
  void discard() {
    if (committed_) return;
    if (file_ != sys::kNoHandle && mode_ != Mode::stream) ops_.close(file_);
    file_ = sys::kNoHandle;
    // A file still marked for deletion, or never named, went with its handle.
    if (!temporary_.empty() && !marked_for_deletion_) ops_.remove(temporary_);
    temporary_.clear();
    if (pending_slot_ >= 0) detail::disarm(pending_slot_);
    pending_slot_ = -1;
  }

  FileOps& ops_;
  std::string name_;
  Mode mode_ = Mode::replace;
  std::string target_;     // the file replaced: the name given, links followed
  std::string temporary_;  // beside the target, until it is renamed
  sys::Handle file_ = sys::kNoHandle;
  int pending_slot_ = -1;
  bool unnamed_ = false;
  bool marked_for_deletion_ = false;
  bool committed_ = false;
};

}  // namespace textio
