# Runs each program in PROGRAMS (separated by '|') on its example input from EXAMPLES inside a
# fresh WORK folder, with a picture of the run, and prints its input, its output and where the
# picture is. Every program reads <stem>.in and writes <stem>.out and <stem>.svg.
set(linkshare_stem downloading)
set(leaklevels_stem vase)

string(REPLACE "|" ";" PROGRAMS "${PROGRAMS}")
file(REMOVE_RECURSE "${WORK}")
set(pictures "")
foreach(program IN LISTS PROGRAMS)
  get_filename_component(name "${program}" NAME_WE)
  set(stem "${${name}_stem}")
  set(folder "${WORK}/${name}")
  file(MAKE_DIRECTORY "${folder}")
  file(COPY "${EXAMPLES}/${stem}.in" DESTINATION "${folder}")
  file(READ "${folder}/${stem}.in" input)
  execute_process(COMMAND ${EMULATOR} "${program}" --plot ${stem}.svg WORKING_DIRECTORY "${folder}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${name} failed with status ${status}")
  endif()
  file(READ "${folder}/${stem}.out" output)
  message("== ${name}: ${stem}.in ==\n${input}== ${name} wrote ${folder}/${stem}.out ==\n${output}")
  string(APPEND pictures "  ${folder}/${stem}.svg\n")
endforeach()
message("Pictures of the runs (open them in a browser):\n${pictures}")
