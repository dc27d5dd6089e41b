# Writes a man page from a program's --help text, so the page never drifts
# from the program. Run as: cmake -DPROGRAM=... -DNAME=... -DSUMMARY=...
# -DVERSION=... -DOUTPUT=... -P help_to_man.cmake
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 ${PROGRAM} --help
  OUTPUT_VARIABLE help
  RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help failed (${result})")
endif()
# roff: a backslash is written \e; a line that begins with "." or "'"
# would be a request, "\&" in front keeps it text.
string(REPLACE "\\" "\\e" help "${help}")
set(help "\n${help}")
string(REPLACE "\n." "\n\\&." help "${help}")
string(REPLACE "\n'" "\n\\&'" help "${help}")
string(SUBSTRING "${help}" 1 -1 help)
string(TOUPPER "${NAME}" title)
file(WRITE ${OUTPUT}
  ".TH ${title} 1 \"\" \"vorn ${VERSION}\" \"User Commands\"\n"
  ".SH NAME\n${NAME} \\- ${SUMMARY}\n"
  ".SH DESCRIPTION\n.nf\n${help}.fi\n"
  ".SH SEE ALSO\nvorn95(1), vornd(1), vorn-tracker(1), vorn-proxy(1)\n")
