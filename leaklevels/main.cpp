// leaklevels: reads the vases, writes the total level at every step.
#include "leaklevels/leaklevels.hpp"
#include "leaklevels/picture.hpp"
#include "textio/cli.hpp"
#include "textio/run_files.hpp"

namespace {

constexpr textio::ProgramInfo kProgram{
    "leaklevels", PROGRAM_VERSION, "vase.in", "vase.out",
    "Usage: leaklevels [OPTION]...\n"
    "\n"
    "Writes the total content left in a set of leaking vases at every step.\n"
    "\n"
    "  -i, --input=FILE   read the vases from FILE (default vase.in);\n"
    "                     - reads standard input\n"
    "  -o, --output=FILE  write the levels to FILE (default vase.out);\n"
    "                     - writes standard output\n"
    "      --plot=FILE    also draw the run as a picture, an SVG file:\n"
    "                     the total level over the steps\n"
    "  -q, --quiet        show no progress line\n"
    "      --help         show this help and exit\n"
    "      --version      show the version and exit\n"
    "\n"
    "The input holds whitespace-separated integers (signed, 32-bit): first n\n"
    "and t, then n pairs of amount and loss, one pair per vase (amount and loss\n"
    "0 or more). Vase i holds its amount at step 0 and loses its loss every\n"
    "step until it is empty. n of 0 or less means no vases. Text after the\n"
    "last pair is not read.\n"
    "\n"
    "The output holds one line per step 0..t (one line if t is 0 or less): the\n"
    "total left in all vases at that step. An output file is replaced only\n"
    "when the run succeeds (a symbolic link's target is replaced; a device or\n"
    "FIFO is written in place). Standard output is written as the run goes.\n"
    "\n"
    "A run that lasts over a second shows how far it is on standard error when\n"
    "that is a terminal.\n"
    "\n"
    "Exit status: 0 on success, 1 on bad input or a failure to read or write,\n"
    "2 on a bad argument.\n"};

void run(const textio::Options& options, textio::Progress& progress) {
  textio::run_with_files<leaklevels::Picture>(options, progress,
                                              [](auto&&... parts) { leaklevels::run(parts...); });
}

}  // namespace

TEXTIO_MAIN(kProgram, run)
