// linkshare: reads downloading.in, writes downloading.out.
#include <cstdio>
#include <memory>

#include "linkshare/linkshare.hpp"
#include "textio/cli.hpp"
#include "textio/input_file.hpp"

namespace {

constexpr textio::ProgramInfo kProgram{
    "linkshare", "linkshare 1.0.0\n",
    "Usage: linkshare [--help | --version]\n"
    "\n"
    "Simulates downloads that share one link of speed S equally and writes the\n"
    "moment each download completes.\n"
    "\n"
    "Reads downloading.in in the current directory: whitespace-separated\n"
    "integers (signed, 32-bit), first n and S, then n pairs of arrival time and\n"
    "size, one pair per download (n >= 0, S >= 1). Text after the last pair is\n"
    "not read.\n"
    "\n"
    "Writes downloading.out in the current directory: n lines, the completion\n"
    "time of each download in input order, with 17 digits after the point.\n"
    "The file is replaced only when the run succeeds.\n"
    "\n"
    "Exit status: 0 on success, 1 on bad input or a failure to read or write,\n"
    "2 on a bad argument.\n"};

void run() {
  const textio::InputFile input("downloading.in");
  textio::IntReader reader(input.name(), input.get());
  // Each download takes at least four bytes ("0 0" and a separator).
  linkshare::Batch batch = linkshare::read_batch(reader, input.size_bound() / 4 + 1);
  linkshare::simulate(batch.speed, batch.slots);
  textio::OutputFile output("downloading.out");
  linkshare::write_times(batch.slots, output);
  output.commit();
}

}  // namespace

int main(int argc, char** argv) { return textio::run_program(kProgram, argc, argv, run); }
