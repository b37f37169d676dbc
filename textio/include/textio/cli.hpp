// The command line and failure reporting that both programs share.
//
// Options follow the GNU conventions: short ones may be bundled ("-qo x"),
// a short option's value may follow it directly ("-ox") or as the next
// argument, a long one's after "=" or as the next argument, a long name may
// be shortened while it stays unambiguous, and "--" ends the options. An
// unknown option, a missing value, a repeated option or any other argument
// is a usage error: a message, the "Try '... --help'" line, status 2. Every
// failure of the run itself is one line "program: message" on stderr and
// status 1.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "error.hpp"
#include "progress.hpp"
#include "system.hpp"
#include "text_sink.hpp"

namespace textio {

struct Options {
  std::string input;   // "-" for standard input
  std::string output;  // "-" for standard output
  std::string plot;    // where to draw a picture of the run; empty for none
  bool quiet = false;  // no progress line
};

struct ProgramInfo {
  const char* name;
  const char* version;  // "1.2.3"
  const char* default_input;
  const char* default_output;
  const char* help;  // the whole --help text
};

enum ExitStatus : int { kSuccess = 0, kFailure = 1, kUsage = 2 };

namespace detail {

struct OptionSpec {
  char short_name;  // '\0' for none
  const char* long_name;
  bool takes_value;
};

inline constexpr OptionSpec kOptionSpecs[] = {
    {'i', "input", true},  {'o', "output", true}, {'\0', "plot", true},
    {'q', "quiet", false}, {'\0', "help", false}, {'\0', "version", false},
};

class UsageError : public Error {
 public:
  using Error::Error;
};

struct Parsed {
  Options options;
  bool help = false;
  bool version = false;
};

inline std::string spelled(const OptionSpec& option) {
  std::string text = std::string("'--") + option.long_name + "'";
  if (option.short_name != '\0') text += std::string(" (-") + option.short_name + ")";
  return text;
}

inline Parsed parse(const ProgramInfo& program, const std::vector<std::string>& args) {
  Parsed parsed;
  parsed.options.input = program.default_input;
  parsed.options.output = program.default_output;
  bool seen[std::size(kOptionSpecs)] = {};
  const auto take = [&](const OptionSpec& option, const std::string* value) {
    const auto index = static_cast<std::size_t>(&option - kOptionSpecs);
    if (seen[index]) throw UsageError("option " + spelled(option) + " given more than once");
    seen[index] = true;
    const std::string_view name = option.long_name;
    if (name == "input") parsed.options.input = *value;
    if (name == "output") parsed.options.output = *value;
    if (name == "plot") parsed.options.plot = *value;
    if (name == "quiet") parsed.options.quiet = true;
    if (name == "help") parsed.help = true;
    if (name == "version") parsed.version = true;
  };
  bool options_ended = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      throw UsageError("unexpected argument '" + arg + "'");
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg[1] == '-') {  // --name, --name=value, --name value
      const std::size_t equals = arg.find('=');
      const std::string name =
          arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      const OptionSpec* match = nullptr;
      for (const OptionSpec& option : kOptionSpecs) {
        const std::string_view long_name = option.long_name;
        if (long_name == name) {
          match = &option;
          break;
        }
        if (!name.empty() && long_name.rfind(name, 0) == 0) {
          if (match != nullptr) throw UsageError("option '--" + name + "' is ambiguous");
          match = &option;
        }
      }
      if (match == nullptr) throw UsageError("unrecognized option '--" + name + "'");
      if (!match->takes_value) {
        if (equals != std::string::npos) {
          throw UsageError(std::string("option '--") + match->long_name +
                           "' doesn't allow an argument");
        }
        take(*match, nullptr);
      } else if (equals != std::string::npos) {
        const std::string value = arg.substr(equals + 1);
        take(*match, &value);
      } else {
        if (i + 1 == args.size()) {
          throw UsageError(std::string("option '--") + match->long_name + "' requires an argument");
        }
        take(*match, &args[++i]);
      }
      continue;
    }
    for (std::size_t at = 1; at < arg.size(); ++at) {  // -q, -ofile, -o file, -qo file
      const OptionSpec* match = nullptr;
      for (const OptionSpec& option : kOptionSpecs) {
        if (option.short_name == arg[at]) match = &option;
      }
      if (match == nullptr) throw UsageError(std::string("invalid option -- '") + arg[at] + "'");
      if (!match->takes_value) {
        take(*match, nullptr);
        continue;
      }
      if (at + 1 < arg.size()) {
        const std::string value = arg.substr(at + 1);
        take(*match, &value);
      } else {
        if (i + 1 == args.size()) {
          throw UsageError(std::string("option requires an argument -- '") + arg[at] + "'");
        }
        take(*match, &args[++i]);
      }
      break;
    }
  }
  if (parsed.options.plot == "-" && parsed.options.output == "-") {
    throw UsageError("the output and the picture cannot both go to standard output");
  }
  return parsed;
}

}  // namespace detail

// The progress line on a terminal: shown once a run has lasted `delay`,
// rewritten in place at most every `interval`, and cleared at the end.
class TerminalProgress final : public Progress {
 public:
  using Clock = std::chrono::steady_clock;
  using Write = void (*)(std::string_view);

  explicit TerminalProgress(std::string program, Write write = sys::write_stderr,
                            Clock::time_point (*now)() = Clock::now,
                            Clock::duration delay = std::chrono::seconds(1),
                            Clock::duration interval = std::chrono::milliseconds(250))
      : program_(std::move(program)),
        write_(write),
        now_(now),
        start_(now()),
        delay_(delay),
        interval_(interval) {}
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;
  ~TerminalProgress() override { clear(); }

  void show(std::string_view line) override {
    std::string text = program_ + ": ";
    text += line;
    // Blanks over what is left of a longer line before.
    if (text.size() < shown_width_) text.append(shown_width_ - text.size(), ' ');
    shown_width_ = text.size();
    write_("\r" + text);
  }

  // Removes the line, before a message or at the end of the run.
  void clear() {
    if (shown_width_ == 0) return;
    write_("\r" + std::string(shown_width_, ' ') + "\r");
    shown_width_ = 0;
  }

 private:
  bool wanted() override {
    const Clock::time_point now = now_();
    if (now - start_ < delay_ || (shown_width_ > 0 && now - last_ < interval_)) return false;
    last_ = now;
    return true;
  }

  std::string program_;
  Write write_;
  Clock::time_point (*now_)();
  Clock::time_point start_;
  Clock::duration delay_;
  Clock::duration interval_;
  Clock::time_point last_{};
  std::size_t shown_width_ = 0;
};

// The arguments as UTF-8 strings.
#ifdef _WIN32
inline std::vector<std::string> arguments(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(sys::to_utf8(argv[i]));
  return args;
}
#else
inline std::vector<std::string> arguments(int argc, char** argv) { return {argv, argv + argc}; }
#endif

// Parses the arguments and runs work(options, progress) unless they ask for
// help or the version. `work` returns only when the output is complete; any
// exception it throws is reported.
template <class Work>
int run_program(const ProgramInfo& program, const std::vector<std::string>& args, Work&& work) {
#ifndef _WIN32
  // A write beyond a file-size limit, or to a closed pipe, fails with an
  // error (EFBIG, EPIPE) that is reported, instead of ending the process
  // before it can remove its temporary file.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
#endif
  const auto say = [&program](const std::string& message) {
    std::string line = std::string(program.name) + ": " + message;
    line += kLineEnd;
    sys::write_stderr(line);
  };
  detail::Parsed parsed;
  try {
    parsed = detail::parse(program, args);
  } catch (const detail::UsageError& error) {
    say(error.what());
    sys::write_stderr(std::string("Try '") + program.name + " --help' for more information." +
                      std::string(kLineEnd));
    return kUsage;
  }
  if (parsed.help || parsed.version) {
    const std::string text =
        parsed.help ? program.help : std::string(program.name) + " " + program.version + "\n";
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? kSuccess : kFailure;
  }
  NoProgress silent;
  TerminalProgress terminal(program.name);
  const bool show_progress = !parsed.options.quiet && sys::stderr_is_terminal();
  try {
    work(static_cast<const Options&>(parsed.options),
         show_progress ? static_cast<Progress&>(terminal) : static_cast<Progress&>(silent));
    terminal.clear();
    return kSuccess;
  } catch (const std::bad_alloc&) {
    terminal.clear();
    say("out of memory");
  } catch (const std::exception& error) {
    terminal.clear();
    say(error.what());
  }
  return kFailure;
}

}  // namespace textio

// Defines the program's entry point: wmain on Windows, so that arguments
// arrive as UTF-16 whatever the code page, main elsewhere.
#ifdef _WIN32
#define TEXTIO_MAIN(program, work)                                            \
  int wmain(int argc, wchar_t** argv) {                                       \
    return textio::run_program(program, textio::arguments(argc, argv), work); \
  }
#else
#define TEXTIO_MAIN(program, work)                                            \
  int main(int argc, char** argv) {                                           \
    return textio::run_program(program, textio::arguments(argc, argv), work); \
  }
#endif
