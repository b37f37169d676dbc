// leaklevels: reads vase.in, writes vase.out.
#include "leaklevels/leaklevels.hpp"
#include "textio/cli.hpp"
#include "textio/input_file.hpp"

namespace {

constexpr textio::ProgramInfo kProgram{
    "leaklevels", "leaklevels 1.0.0\n",
    "Usage: leaklevels [--help | --version]\n"
    "\n"
    "Writes the total content left in a set of leaking vases at every step.\n"
    "\n"
    "Reads vase.in in the current directory: whitespace-separated integers\n"
    "(signed, 32-bit), first n and t, then n pairs of amount and loss, one pair\n"
    "per vase (amount and loss 0 or more). Vase i holds its amount at step 0\n"
    "and loses its loss every step until it is empty. n of 0 or less means no\n"
    "vases. Text after the last pair is not read.\n"
    "\n"
    "Writes vase.out in the current directory: one line per step 0..t (one\n"
    "line if t is 0 or less), the total left in all vases at that step. The\n"
    "file is replaced only when the run succeeds.\n"
    "\n"
    "Exit status: 0 on success, 1 on bad input or a failure to read or write,\n"
    "2 on a bad argument.\n"};

void run() {
  leaklevels::LevelTable table(0);
  {
    const textio::InputFile input("vase.in");
    textio::IntReader reader(input.name(), input.get());
    const leaklevels::Header header = leaklevels::read_header(reader);
    table = leaklevels::LevelTable(header.last_step);
    // Each vase takes at least four bytes ("0 0" and a separator).
    leaklevels::read_vases(reader, header, table, input.size_bound() / 4 + 1);
  }
  textio::OutputFile output("vase.out");
  leaklevels::write_levels(table, output);
  output.commit();
}

}  // namespace

int main(int argc, char** argv) { return textio::run_program(kProgram, argc, argv, run); }
