// The command line and failure reporting that both programs share: --help,
// --version, no other argument, and every failure as one line
// "program: message" on stderr with exit status 1.
#pragma once

#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>
#include <string_view>

#include "error.hpp"

namespace textio {

struct ProgramInfo {
  const char* name;
  const char* version;
  const char* help;  // the whole --help text
};

enum ExitStatus : int { kSuccess = 0, kFailure = 1, kUsage = 2 };

// Runs `work` unless the arguments ask for help or version. `work` returns
// only when the output is complete; any exception it throws is reported.
template <class Work>
int run_program(const ProgramInfo& program, int argc, char** argv, Work&& work) {
  if (argc > 1) {
    const std::string_view first = argv[1];
    const bool informative = first == "--help" || first == "--version";
    if (argc > 2 || !informative) {
      std::fprintf(stderr, "%s: unexpected argument '%s'\nTry '%s --help' for more information.\n",
                   program.name, informative ? argv[2] : argv[1], program.name);
      return kUsage;
    }
    std::fputs(first == "--help" ? program.help : program.version, stdout);
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? kSuccess : kFailure;
  }
  try {
    work();
    return kSuccess;
  } catch (const Error& error) {
    std::fprintf(stderr, "%s: %s\n", program.name, error.what());
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s: out of memory\n", program.name);
  } catch (const std::length_error&) {
    std::fprintf(stderr, "%s: out of memory\n", program.name);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", program.name, error.what());
  }
  return kFailure;
}

}  // namespace textio
