// linkshare: reads the downloads, writes their completion times.
#include "linkshare/linkshare.hpp"
#include "linkshare/picture.hpp"
#include "textio/cli.hpp"
#include "textio/run_files.hpp"

namespace {

constexpr textio::ProgramInfo kProgram{
    "linkshare", PROGRAM_VERSION, "downloading.in", "downloading.out",
    "Usage: linkshare [OPTION]...\n"
    "\n"
    "Simulates downloads that share one link of speed S equally and writes the\n"
    "moment each download completes.\n"
    "\n"
    "  -i, --input=FILE   read the downloads from FILE (default downloading.in);\n"
    "                     - reads standard input\n"
    "  -o, --output=FILE  write the completion times to FILE (default\n"
    "                     downloading.out); - writes standard output\n"
    "      --plot=FILE    also draw the run as a picture, an SVG file:\n"
    "                     the downloads in progress and each download over time\n"
    "  -q, --quiet        show no progress line\n"
    "      --help         show this help and exit\n"
    "      --version      show the version and exit\n"
    "\n"
    "The input holds whitespace-separated integers (signed, 32-bit): first n\n"
    "and S, then n pairs of arrival time and size, one pair per download\n"
    "(n >= 0, S >= 1). Text after the last pair is not read.\n"
    "\n"
    "The output holds n lines: the completion time of each download in input\n"
    "order, with 17 digits after the point. An output file is replaced only\n"
    "when the run succeeds (a symbolic link's target is replaced; a device or\n"
    "FIFO is written in place). Standard output is written as the run goes.\n"
    "\n"
    "A run that lasts over a second shows how far it is on standard error when\n"
    "that is a terminal.\n"
    "\n"
    "Exit status: 0 on success, 1 on bad input or a failure to read or write,\n"
    "2 on a bad argument.\n"};

void run(const textio::Options& options, textio::Progress& progress) {
  textio::run_with_files<linkshare::Picture>(options, progress,
                                             [](auto&&... parts) { linkshare::run(parts...); });
}

}  // namespace

TEXTIO_MAIN(kProgram, run)
