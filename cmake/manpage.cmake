# Writes a man page for PROGRAM (its path) to OUTPUT from what the program
# prints for --help and --version, so that the page cannot drift from the
# program. NAME is the program's name, SUMMARY a one-line description.
execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed: ${status}")
endif()
execute_process(COMMAND "${PROGRAM}" --version OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE)

# roff: backslashes doubled, and lines that start with a control character
# made plain text.
string(REPLACE "\\" "\\\\" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
# The usage line becomes the synopsis; the rest is the description.
string(REGEX REPLACE "^Usage: [^\n]*\n\n?" "" description "${help}")
string(TOUPPER "${NAME}" title)
file(WRITE "${OUTPUT}" ".TH ${title} 1 \"\" \"${version}\" \"User Commands\"
.SH NAME
${NAME} \\- ${SUMMARY}
.SH SYNOPSIS
.B ${NAME}
[\\fIOPTION\\fR]...
.SH DESCRIPTION
.nf
${description}.fi
.SH SEE ALSO
The README of the package, installed beside this page's package documentation.
")
