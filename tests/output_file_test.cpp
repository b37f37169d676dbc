#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "scratch_dir.hpp"
#include "textio/cli.hpp"
#include "textio/output_file.hpp"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#endif

namespace {

using testing_support::read_bytes;
using testing_support::ScratchDir;
using testing_support::write_bytes;

class OutputFileTest : public ::testing::Test {
 protected:
  ScratchDir dir;
  std::string target = dir.file("result.out");
};

// Several buffers' worth of lines, through both ways of writing.
std::string write_lines(textio::TextSink& output, std::size_t at_least) {
  std::string expected;
  for (int i = 0; expected.size() < at_least; ++i) {
    const std::string line =
        std::to_string(i) + std::string(static_cast<std::size_t>(i % 300), 'x') + "\n";
    if (i % 2 == 0) {
      output.write(line);
    } else {
      char* at = output.begin_write(line.size());
      for (const char c : line) *at++ = c;
      output.end_write(at);
    }
    expected += line;
  }
  return expected;
}

TEST_F(OutputFileTest, CommitReplacesTheTargetAndLeavesNothingElse) {
  write_bytes(target, "old");
  std::string expected;
  {
    textio::OutputFile output(target);
    expected = write_lines(output, 3 * textio::TextSink::kBufferSize);
    EXPECT_EQ(read_bytes(target), "old");  // nothing visible before commit
    output.commit();
  }
  EXPECT_EQ(read_bytes(target), expected);
  EXPECT_EQ(dir.names(), std::set<std::string>{"result.out"});
}

TEST_F(OutputFileTest, AbandonedOutputLeavesTheEarlierFile) {
  write_bytes(target, "earlier\n");
  {
    textio::OutputFile output(target);
    output.write(std::string(2 * textio::TextSink::kBufferSize, 'n'));
  }
  EXPECT_EQ(read_bytes(target), "earlier\n");
  EXPECT_EQ(dir.names(), std::set<std::string>{"result.out"});
}

TEST_F(OutputFileTest, AFolderIsNeverReplaced) {
  std::filesystem::create_directory(target);
  write_bytes(dir.file("result.out/keep"), "k");
  try {
    textio::OutputFile output(target);
    FAIL() << "made an output over a folder";
  } catch (const textio::Error& error) {
    EXPECT_EQ(std::string(error.what()), target + ": Is a directory");
  }
  EXPECT_EQ(dir.names(), std::set<std::string>{"result.out"});
  EXPECT_EQ(read_bytes(dir.file("result.out/keep")), "k");
}

TEST_F(OutputFileTest, MissingFolderIsReportedAtCreation) {
  const std::string path = dir.file("no/such/folder/out");
  try {
    textio::OutputFile output(path);
    FAIL() << "created a file in a missing folder";
  } catch (const textio::Error& error) {
    EXPECT_EQ(std::string(error.what()), path + ": No such file or directory");
  }
}

// --- every step of writing fails in turn -------------------------------------

// The real calls, except that the chosen call of the chosen kind fails as a
// full disk would. Creating fails both ways of creating a temporary file.
class FailingOps final : public textio::FileOps {
 public:
  enum Step { creating, writing, naming, closing, renaming };
  FailingOps(Step step, int nth) : step_(step), nth_(nth) {}

  textio::sys::Handle create_unnamed(const std::string& folder) override {
    return step_ == creating ? textio::sys::kNoHandle : FileOps::create_unnamed(folder);
  }
  textio::sys::Handle create_new(const std::string& path) override {
    return fails(creating) ? textio::sys::kNoHandle : FileOps::create_new(path);
  }
  bool write(textio::sys::Handle file, const char* data, std::size_t size) override {
    ++writes_;
    return !fails(writing) && FileOps::write(file, data, size);
  }
  bool name_unnamed(textio::sys::Handle file, const std::string& path) override {
    return !fails(naming) && FileOps::name_unnamed(file, path);
  }
  bool close(textio::sys::Handle file) override {
    if (fails(closing)) {
      FileOps::close(file);  // the handle is gone either way, as with a failed close
      return false;
    }
    return FileOps::close(file);
  }
  bool replace(const std::string& from, const std::string& to) override {
    return !fails(renaming) && FileOps::replace(from, to);
  }
  std::string error_text() override {
    return failed_ ? "No space left on device" : FileOps::error_text();
  }

  int writes() const { return writes_; }
  bool failed() const { return failed_; }

 private:
  bool fails(Step step) {
    if (step != step_ || ++seen_ != nth_) return false;
    failed_ = true;
    return true;
  }

  Step step_;
  int nth_;
  int seen_ = 0;
  int writes_ = 0;
  bool failed_ = false;
};

TEST_F(OutputFileTest, EveryFailingStepLeavesTheEarlierFileAndNothingElse) {
  // 3.5 buffers: three full blocks while writing, the last at commit.
  const struct {
    const char* step;
    FailingOps::Step kind;
    int nth;
  } cases[] = {
      {"creating the temporary file", FailingOps::creating, 1},
      {"the first block", FailingOps::writing, 1},
      {"a middle block", FailingOps::writing, 2},
      {"the last block, at commit", FailingOps::writing, 4},
      {"naming the unnamed file (Linux)", FailingOps::naming, 1},
      {"closing", FailingOps::closing, 1},
      {"renaming", FailingOps::renaming, 1},
  };
  for (const auto& c : cases) {
    write_bytes(target, "earlier\n");
    FailingOps ops(c.kind, c.nth);
    const std::vector<std::string> args = {"prog"};
    ::testing::internal::CaptureStderr();
    const int status =
        textio::run_program(textio::ProgramInfo{"prog", "1", "in", "out", ""}, args,
                            [&](const textio::Options&, textio::Progress&) {
                              textio::OutputFile output(target, ops);
                              write_lines(output, 3 * textio::TextSink::kBufferSize +
                                                      textio::TextSink::kBufferSize / 2);
                              output.commit();
                            });
    std::string message = ::testing::internal::GetCapturedStderr();
    if (!ops.failed()) {  // a step this system does not take
      EXPECT_EQ(c.kind, FailingOps::naming) << c.step;
      continue;
    }
    if (message.size() >= 2 && message[message.size() - 2] == '\r')
      message.erase(message.size() - 2, 1);
    EXPECT_EQ(status, 1) << c.step;
    EXPECT_EQ(message, "prog: " + target + ": No space left on device\n") << c.step;
    EXPECT_EQ(read_bytes(target), "earlier\n") << c.step;
    EXPECT_EQ(dir.names(), std::set<std::string>{"result.out"}) << c.step;
    if (c.kind == FailingOps::writing && c.nth == 4) {
      EXPECT_EQ(ops.writes(), 4) << "the last block is the fourth";
    }
  }
}

// The real calls, but never a file without a name: temporary files are
// named from the start, as where the system has no unnamed files.
class NamedOnlyOps final : public textio::FileOps {
 public:
  textio::sys::Handle create_unnamed(const std::string&) override { return textio::sys::kNoHandle; }
};

#ifndef _WIN32
// Writes a few MiB with the file size limited to 4 KiB, as on a full disk;
// exits 1 with the message if the output reports the failure. SIGXFSZ is
// left as it comes: run_program makes it ignored.
[[noreturn]] void write_beyond_size_limit(const std::string& target) {
  rlimit limit{};
  limit.rlim_cur = limit.rlim_max = 4096;
  setrlimit(RLIMIT_FSIZE, &limit);
  const int status =
      textio::run_program(textio::ProgramInfo{"prog", "1", "in", "out", ""}, {"prog"},
                          [&target](const textio::Options&, textio::Progress&) {
                            textio::OutputFile output(target);
                            output.write(std::string(3 * textio::TextSink::kBufferSize, 'x'));
                            output.commit();
                          });
  std::_Exit(status);
}

// The write fails (instead of SIGXFSZ ending the process), the earlier file
// stays and no temporary file is left.
TEST_F(OutputFileTest, SizeLimitFailsTheWriteAndKeepsTheEarlierFile) {
  write_bytes(target, "earlier\n");
  EXPECT_EXIT(write_beyond_size_limit(target), ::testing::ExitedWithCode(1),
              "result.out: File too large");
  EXPECT_EQ(read_bytes(target), "earlier\n");
  EXPECT_EQ(dir.names(), std::set<std::string>{"result.out"});
}

// --- stop signals --------------------------------------------------------------

// Starts writing a large output and then receives `signal_number`.
[[noreturn]] void stopped_while_writing(const std::string& target, int signal_number, bool named) {
  NamedOnlyOps named_only;
  textio::OutputFile output(target, named ? named_only : textio::FileOps::real());
  output.write(std::string(3 * textio::TextSink::kBufferSize, 'x'));
  raise(signal_number);
  std::_Exit(0);  // reached only if the signal did not end the process
}

// With a named temporary file, the handler removes it; with an unnamed one
// (Linux), nothing is left even after SIGKILL, which no handler sees.
TEST_F(OutputFileTest, AStopSignalRemovesTheTemporaryFileAndEndsAsTheSignalWould) {
  for (const bool named : {true, false}) {
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
      if (named && signal_number == SIGKILL) continue;
#ifndef __linux__
      if (!named) continue;
#endif
      write_bytes(target, "earlier\n");
      EXPECT_EXIT(stopped_while_writing(target, signal_number, named),
                  ::testing::KilledBySignal(signal_number), "")
          << strsignal(signal_number);
      EXPECT_EQ(read_bytes(target), "earlier\n");
      EXPECT_EQ(dir.names(), std::set<std::string>{"result.out"})
          << (named ? "named, " : "unnamed, ") << strsignal(signal_number);
    }
  }
}

void (*handler_of(int signal_number))(int) {
  struct sigaction current {};
  sigaction(signal_number, nullptr, &current);
  return current.sa_handler;
}

extern "C" void callers_own_handler(int) {}

// A signal the caller ignores stays ignored throughout (nohup, a background
// job); one the caller handles gets its handler back; the run's own handler
// is there only while a temporary file exists.
[[noreturn]] void keeps_the_callers_dispositions(const std::string& target) {
  std::signal(SIGINT, SIG_IGN);
  std::signal(SIGHUP, callers_own_handler);
  bool right = handler_of(SIGTERM) == SIG_DFL;
  {
    NamedOnlyOps named_only;
    textio::OutputFile output(target, named_only);
    right = right && handler_of(SIGINT) == SIG_IGN;
    right = right && handler_of(SIGHUP) != callers_own_handler && handler_of(SIGTERM) != SIG_DFL;
    raise(SIGINT);  // ignored: the run goes on
    output.write("text\n");
    output.commit();
  }
  right = right && handler_of(SIGINT) == SIG_IGN && handler_of(SIGHUP) == callers_own_handler &&
          handler_of(SIGTERM) == SIG_DFL;
  std::_Exit(right ? 0 : 3);
}

TEST_F(OutputFileTest, KeepsTheCallersSignalDispositions) {
  EXPECT_EXIT(keeps_the_callers_dispositions(target), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(read_bytes(target), "text\n");
}

// Several outputs at once are all protected, up to a stated limit.
[[noreturn]] void several_outputs_then_stopped(const std::string& folder) {
  NamedOnlyOps named_only;
  textio::OutputFile first(folder + "/a", named_only);
  textio::OutputFile second(folder + "/b", named_only);
  first.write("a");
  second.write("b");
  raise(SIGTERM);
  std::_Exit(0);
}

TEST_F(OutputFileTest, ProtectsEveryOutputOpenAtOnce) {
  EXPECT_EXIT(several_outputs_then_stopped(dir.file("")), ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_EQ(dir.names(), std::set<std::string>{});
  NamedOnlyOps named_only;
  std::vector<std::unique_ptr<textio::OutputFile>> outputs;
  for (int i = 0; i < textio::detail::kMaxPending; ++i) {
    outputs.push_back(
        std::make_unique<textio::OutputFile>(dir.file(std::to_string(i)), named_only));
  }
  EXPECT_THROW(textio::OutputFile(dir.file("one too many"), named_only), textio::Error);
  outputs.clear();
  EXPECT_EQ(dir.names(), std::set<std::string>{});
}

// --- names that are not regular files ---------------------------------------------

TEST_F(OutputFileTest, ASymbolicLinkIsFollowedAndStays) {
  std::filesystem::create_directory(dir.file("real"));
  write_bytes(dir.file("real/data"), "old");
  std::filesystem::create_symlink("real/data", target);
  {
    textio::OutputFile output(target);
    output.write("new\n");
    output.commit();
  }
  EXPECT_TRUE(std::filesystem::is_symlink(target));
  EXPECT_EQ(read_bytes(dir.file("real/data")), "new\n");
  EXPECT_EQ(dir.names(), (std::set<std::string>{"real", "result.out"}));
  EXPECT_EQ(std::filesystem::directory_iterator(dir.file("real"))->path().filename(), "data");

  // A link to a file not there yet makes the file, and stays a link.
  std::filesystem::create_symlink("real/fresh", dir.file("dangling"));
  textio::OutputFile fresh(dir.file("dangling"));
  fresh.write("made\n");
  fresh.commit();
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("dangling")));
  EXPECT_EQ(read_bytes(dir.file("real/fresh")), "made\n");

  std::filesystem::create_symlink("loop", dir.file("loop"));
  EXPECT_THROW(textio::OutputFile(dir.file("loop")), textio::Error);
}

// Replacing a file keeps who may read it: a private output stays private.
TEST_F(OutputFileTest, TheReplacementKeepsTheFilesPermissions) {
  for (const mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0444}}) {
    write_bytes(target, "earlier\n");
    ASSERT_EQ(chmod(target.c_str(), mode), 0);
    textio::OutputFile output(target);
    output.write("new\n");
    output.commit();
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, mode);
    EXPECT_EQ(read_bytes(target), "new\n");
    ASSERT_EQ(chmod(target.c_str(), 0644), 0);
  }
}

TEST_F(OutputFileTest, DevicesAndFifosAreWrittenInPlace) {
  {
    textio::OutputFile output("/dev/null");
    write_lines(output, 2 * textio::TextSink::kBufferSize);
    output.commit();
  }
  struct stat info {};
  ASSERT_EQ(stat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));

  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = read_bytes(fifo); });
  std::string expected;
  {
    textio::OutputFile output(fifo);
    expected = write_lines(output, 3 * textio::TextSink::kBufferSize);
    output.commit();
  }
  reader.join();
  EXPECT_EQ(received, expected);
  ASSERT_EQ(stat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_EQ(dir.names(), std::set<std::string>{"fifo"});
}
#endif

}  // namespace
