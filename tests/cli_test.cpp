#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "textio/cli.hpp"

namespace {

const textio::ProgramInfo kProgram{"prog", "9.8.7", "in.txt", "out.txt", "help text\n"};

struct Outcome {
  int status;
  std::string stderr_text;
  textio::Options options;
};

Outcome run_with(const std::vector<std::string>& args,
                 const std::function<void(const textio::Options&)>& work = {}) {
  Outcome outcome{};
  std::vector<std::string> argv = {"prog"};
  argv.insert(argv.end(), args.begin(), args.end());
  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  outcome.status =
      textio::run_program(kProgram, argv, [&](const textio::Options& options, textio::Progress&) {
        outcome.options = options;
        if (work) work(options);
      });
  ::testing::internal::GetCapturedStdout();
  outcome.stderr_text = ::testing::internal::GetCapturedStderr();
  for (std::size_t at; (at = outcome.stderr_text.find("\r\n")) != std::string::npos;) {
    outcome.stderr_text.erase(at, 1);
  }
  return outcome;
}

TEST(CommandLine, TakesOptionsInEveryGnuSpelling) {
  const struct {
    std::vector<std::string> args;
    std::string input;
    std::string output;
    bool quiet;
  } cases[] = {
      {{}, "in.txt", "out.txt", false},
      {{"-i", "a", "-o", "b"}, "a", "b", false},
      {{"-ia", "-ob"}, "a", "b", false},
      {{"--input=a", "--output=b"}, "a", "b", false},
      {{"--input", "a", "--output", "b"}, "a", "b", false},
      {{"--in", "a", "--out=b"}, "a", "b", false},  // unambiguous abbreviations
      {{"-i", "-", "-o", "-"}, "-", "-", false},
      {{"-qo", "b"}, "in.txt", "b", true},
      {{"--quiet", "--input="}, "", "out.txt", true},
      {{"-o", "--input"}, "in.txt", "--input", false},  // a value may look like an option
      {{
           "--",
       },
       "in.txt",
       "out.txt",
       false},
      {{"-i", "données/日本/downloading.in"}, "données/日本/downloading.in", "out.txt", false},
  };
  for (const auto& c : cases) {
    const Outcome outcome = run_with(c.args);
    EXPECT_EQ(outcome.status, 0) << outcome.stderr_text;
    EXPECT_EQ(outcome.options.input, c.input);
    EXPECT_EQ(outcome.options.output, c.output);
    EXPECT_EQ(outcome.options.quiet, c.quiet);
  }
}

TEST(CommandLine, RefusesBadArgumentsWithStatusTwo) {
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"input.txt"}, "unexpected argument 'input.txt'"},
      {{"-"}, "unexpected argument '-'"},
      {{"--", "-i"}, "unexpected argument '-i'"},
      {{"--frobnicate"}, "unrecognized option '--frobnicate'"},
      {{"-x"}, "invalid option -- 'x'"},
      {{"-qx"}, "invalid option -- 'x'"},
      {{"-i"}, "option requires an argument -- 'i'"},
      {{"--output"}, "option '--output' requires an argument"},
      {{"--quiet=yes"}, "option '--quiet' doesn't allow an argument"},
      {{"-i", "a", "--input=b"}, "option '--input' (-i) given more than once"},
      {{"-q", "-q"}, "option '--quiet' (-q) given more than once"},
      {{"--help", "more"}, "unexpected argument 'more'"},
      {{"--ver", "--v"}, "option '--version' given more than once"},
  };
  for (const auto& c : cases) {
    bool ran = false;
    const Outcome outcome = run_with(c.args, [&ran](const textio::Options&) { ran = true; });
    EXPECT_EQ(outcome.status, 2) << c.message;
    EXPECT_EQ(outcome.stderr_text,
              "prog: " + c.message + "\nTry 'prog --help' for more information.\n");
    EXPECT_FALSE(ran) << c.message;
  }
  EXPECT_EQ(run_with({"--o", "x"}).status, 0);  // --output is the only --o...
  EXPECT_EQ(run_with({"--in", "x"}).status, 0);
}

TEST(CommandLine, HelpAndVersionRunNothing) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"--version"}, {"-i", "x", "--help"}}) {
    bool ran = false;
    std::vector<std::string> argv = {"prog"};
    argv.insert(argv.end(), args.begin(), args.end());
    ::testing::internal::CaptureStdout();
    const int status = textio::run_program(
        kProgram, argv, [&ran](const textio::Options&, textio::Progress&) { ran = true; });
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(out == "help text\n" || out == "prog 9.8.7\n") << out;
  }
}

// Every way a run can fail ends as one line on stderr and status 1; a run
// whose memory runs out included.
TEST(CommandLine, ReportsFailuresAsOneLine) {
  const struct {
    std::function<void(const textio::Options&)> work;
    int status;
    std::string message;
  } cases[] = {
      {[](const textio::Options&) {}, 0, ""},
      {[](const textio::Options&) { throw textio::Error("in: bad"); }, 1, "prog: in: bad\n"},
      {[](const textio::Options&) { throw std::bad_alloc(); }, 1, "prog: out of memory\n"},
#ifndef __SANITIZE_ADDRESS__  // AddressSanitizer reports a failed allocation and ends the process
      {[](const textio::Options&) { std::vector<char>(std::size_t{1} << 62); }, 1,
       "prog: out of memory\n"},
#endif
      {[](const textio::Options&) { throw std::runtime_error("odd"); }, 1, "prog: odd\n"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = run_with({}, c.work);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.stderr_text, c.message);
  }
}

// --- the progress line ------------------------------------------------------

std::chrono::steady_clock::time_point g_now;
std::string g_terminal;

TEST(TerminalProgress, ShowsAfterASecondAtMostFourTimesASecondAndClears) {
  using std::chrono::milliseconds;
  g_now = std::chrono::steady_clock::time_point{};
  g_terminal.clear();
  {
    textio::TerminalProgress meter(
        "prog", [](std::string_view text) { g_terminal += text; }, [] { return g_now; });
    const auto tick = [&meter](const std::string& line) {
      // The meter is asked once every kInterval calls.
      for (std::uint32_t i = 0; i < textio::Progress::kInterval; ++i) {
        if (meter.due()) meter.show(line);
      }
    };
    tick("early");  // before a second has passed: nothing
    EXPECT_EQ(g_terminal, "");
    g_now += milliseconds(1000);
    tick("a long line");
    EXPECT_EQ(g_terminal, "\rprog: a long line");
    g_now += milliseconds(100);
    tick("too soon");
    EXPECT_EQ(g_terminal, "\rprog: a long line");
    g_now += milliseconds(200);
    tick("short");  // rewritten in place, the rest of the longer line blanked
    EXPECT_EQ(g_terminal, "\rprog: a long line\rprog: short      ");
  }
  EXPECT_EQ(g_terminal, "\rprog: a long line\rprog: short      \r" + std::string(17, ' ') + "\r");
}

TEST(TerminalProgress, AQuietRunOrAShortOneWritesNothing) {
  g_now = std::chrono::steady_clock::time_point{};
  g_terminal.clear();
  {
    textio::TerminalProgress meter(
        "prog", [](std::string_view text) { g_terminal += text; }, [] { return g_now; });
    g_now += std::chrono::milliseconds(900);
    for (std::uint32_t i = 0; i < 3 * textio::Progress::kInterval; ++i) {
      if (meter.due()) meter.show("line");
    }
  }
  EXPECT_EQ(g_terminal, "");
}

}  // namespace
