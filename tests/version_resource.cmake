# Reads the version resource back from an .exe (wrestool, from icoutils) and
# checks it against what the program prints for --version. Inputs: PROGRAM,
# EMULATOR.
execute_process(COMMAND wrestool -x --raw --type=16 "${PROGRAM}" OUTPUT_FILE "${PROGRAM}.version.res"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "wrestool found no version resource in ${PROGRAM}")
endif()
# The resource's strings are UTF-16: every other byte of ASCII text is 0.
file(READ "${PROGRAM}.version.res" resource HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])00" "\\1" resource "${resource}")
execute_process(COMMAND ${EMULATOR} "${PROGRAM}" --version OUTPUT_VARIABLE version_line)
string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+" version "${version_line}")
get_filename_component(name "${PROGRAM}" NAME_WE)
foreach(expected "ProductVersion" "FileVersion" "${version}" "${name}.exe" "MIT License")
  string(HEX "${expected}" expected_hex)
  string(FIND "${resource}" "${expected_hex}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${PROGRAM}: the version resource lacks '${expected}' (--version: ${version_line})")
  endif()
endforeach()
message("${PROGRAM}: version resource ${version}, as --version says: ${version_line}")
