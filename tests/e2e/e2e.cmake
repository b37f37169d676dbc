# End-to-end cases: each program is run as a user would run it, in a scratch
# folder, on the cases of a table file. The table is plain text:
#
#   === <id> <description>       starts a case; <id> names the test
#   --- input                    the input file's content follows
#   --- input: no final newline  the same, without the last line end
#   --- input: directory         the input's name is taken by a folder
#   --- input at <path>          the input goes to <path> (folders made),
#                                not to the default name
#   --- stdin                    what the run reads on standard input
#   --- earlier output           an output file that exists before the run
#   --- output                   the output file the run must leave
#   --- output at <path>         ... at <path>, not at the default name
#   --- output: directory        the output's name is taken by a folder
#   --- stdout                   exactly what the run must write on stdout
#   --- stderr                   what the run must print on stderr
#   --- stderr matches <regex>   a regular expression that stderr, less its
#                                last line end, must match
#   --- stdout contains <text>   text that stdout must contain
#   --- args <arguments>         command-line arguments, space-separated
#   --- status <n>               the expected exit status (default 0)
#   --- only <windows|posix>     the case runs on that platform only
#
# Lines before the first case are comments. Expected output is given with
# line feeds; where the programs write CRLF (Windows), the check expects CRLF.
# Cases with an input also run with that input converted to CRLF. The table
# file cannot hold ';', '[' or ']' as they are: CMake lists would split
# them. They travel as placeholders and are put back in each section.

set(E2E_RUNNER "${CMAKE_CURRENT_LIST_DIR}/run_case.cmake")

# The characters a CMake list would split on, as placeholders and back.
function(e2e_escape text result)
  string(REPLACE ";" "<SEMICOLON>" text "${text}")
  string(REPLACE "[" "<OPEN>" text "${text}")
  string(REPLACE "]" "<CLOSE>" text "${text}")
  set(${result} "${text}" PARENT_SCOPE)
endfunction()
function(e2e_unescape text result)
  string(REPLACE "<SEMICOLON>" ";" text "${text}")
  string(REPLACE "<OPEN>" "[" text "${text}")
  string(REPLACE "<CLOSE>" "]" text "${text}")
  set(${result} "${text}" PARENT_SCOPE)
endfunction()

function(e2e_finish_section)
  if(section_kind STREQUAL "")
    return()
  endif()
  e2e_unescape("${section_text}" text)
  string(REGEX REPLACE "\n\n+$" "\n" text "${text}")  # blank lines that part cases
  if(text STREQUAL "\n")
    set(text "")
  endif()
  if(section_kind STREQUAL "input: no final newline")
    string(REGEX REPLACE "\n$" "" text "${text}")
    set(section_kind "input")
  endif()
  if(section_kind MATCHES "^(input|output) at (.+)$")
    set(section_kind "${CMAKE_MATCH_1}")
    file(WRITE "${case_dir}/${CMAKE_MATCH_1}-path" "${CMAKE_MATCH_2}")
  endif()
  string(REPLACE " " "-" file_name "${section_kind}")
  string(REPLACE ":" "" file_name "${file_name}")
  file(WRITE "${case_dir}/${file_name}" "${text}")
  if(section_kind MATCHES "^(output|earlier output|stdout)$")
    string(REPLACE "\n" "\r\n" crlf_text "${text}")
    file(WRITE "${case_dir}/${file_name}.crlf" "${crlf_text}")
  endif()
  set(section_kind "" PARENT_SCOPE)
  set(section_text "" PARENT_SCOPE)
endfunction()

# add_e2e_cases(<program target> <table> <input name> <output name>)
function(add_e2e_cases program table input_name output_name)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${table}")
  file(READ "${table}" content)
  e2e_escape("${content}" content)
  string(REPLACE "\n" ";" lines "${content}")
  set(root "${CMAKE_CURRENT_BINARY_DIR}/e2e/${program}")
  file(REMOVE_RECURSE "${root}")
  set(ids "")
  set(case_dir "")
  set(section_kind "")
  set(section_text "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^=== ([^ ]+)")
      e2e_finish_section()
      set(id "${CMAKE_MATCH_1}")
      if(id IN_LIST ids)
        message(FATAL_ERROR "${table}: case ${id} appears twice")
      endif()
      list(APPEND ids "${id}")
      set(case_dir "${root}/${id}")
      file(MAKE_DIRECTORY "${case_dir}")
    elseif(case_dir STREQUAL "")
      # a comment before the first case
    elseif(line MATCHES "^--- only (windows|posix)$")
      e2e_finish_section()
      if((CMAKE_MATCH_1 STREQUAL "windows" AND NOT WIN32) OR (CMAKE_MATCH_1 STREQUAL "posix" AND WIN32))
        file(WRITE "${case_dir}/skip" "")
      endif()
    elseif(line MATCHES "^--- (status|args|stdout contains|stderr matches) ?(.*)$")
      e2e_finish_section()
      string(REPLACE " " "-" key "${CMAKE_MATCH_1}")
      e2e_unescape("${CMAKE_MATCH_2}" value)
      file(WRITE "${case_dir}/${key}" "${value}")
    elseif(line MATCHES "^--- (.+)$")
      e2e_finish_section()
      set(section_kind "${CMAKE_MATCH_1}")
      if(section_kind MATCHES "directory$")
        string(REPLACE ": " "-" key "${section_kind}")
        file(WRITE "${case_dir}/${key}" "")
        set(section_kind "")
      elseif(NOT section_kind MATCHES "^(input|input: no final newline|input at .+|stdin|earlier output|output|output at .+|stdout|stderr)$")
        message(FATAL_ERROR "${table}: unknown section '--- ${section_kind}' in case ${id}")
      endif()
    elseif(NOT section_kind STREQUAL "")
      string(APPEND section_text "${line}\n")
    elseif(NOT line STREQUAL "")
      message(FATAL_ERROR "${table}: text outside a section in case ${id}: ${line}")
    endif()
  endforeach()
  e2e_finish_section()

  foreach(id IN LISTS ids)
    if(EXISTS "${root}/${id}/skip")
      continue()
    endif()
    add_test(NAME "${program}.e2e.${id}"
             COMMAND ${CMAKE_COMMAND}
                     "-DPROGRAM=$<TARGET_FILE:${program}>"
                     "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}"
                     "-DCASE=${root}/${id}"
                     "-DSCRATCH=${CMAKE_CURRENT_BINARY_DIR}/e2e-scratch/${program}/${id}"
                     "-DINPUT_NAME=${input_name}"
                     "-DOUTPUT_NAME=${output_name}"
                     "-DCRLF_OUTPUT=${WIN32}"
                     -P "${E2E_RUNNER}")
    if(E2E_FIXTURES)
      set_tests_properties("${program}.e2e.${id}" PROPERTIES FIXTURES_REQUIRED "${E2E_FIXTURES}")
    endif()
  endforeach()
endfunction()
