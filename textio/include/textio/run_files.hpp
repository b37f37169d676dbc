// The files around one run, the same for both programs: the input opened
// first (a missing one is reported before anything else), the output and
// the picture's file made before the work (a place they cannot go stops the
// run before anything is replaced), the input closed before the output
// replaces anything (the two may be one file, and Windows replaces no open
// file), then the output and the picture committed, in that order.
#pragma once

#include <optional>

#include "cli.hpp"
#include "input_file.hpp"
#include "int_reader.hpp"
#include "output_file.hpp"

namespace textio {

// work(reader, output, progress, picture) runs the core; `picture` is null
// without --plot. Picture is made from the input's name and has
// draw(TextSink&).
template <class Picture, class Work>
void run_with_files(const Options& options, Progress& progress, Work&& work) {
  InputFile input(options.input);
  IntReader reader(input.name(), input);
  OutputFile output(options.output);
  std::optional<OutputFile> svg;
  std::optional<Picture> picture;
  if (!options.plot.empty()) {
    svg.emplace(options.plot);
    picture.emplace(input.name());
  }
  work(reader, output, progress, picture ? &*picture : nullptr);
  input.close();
  output.commit();
  if (picture) {
    picture->draw(*svg);
    svg->commit();
  }
}

}  // namespace textio
