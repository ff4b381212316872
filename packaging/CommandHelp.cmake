# Writes OUTPUT, a help2man include file: a COMMANDS section that holds the --help of every
# subcommand PROGRAM lists, so that the man page documents each command's own options, and the
# SEE ALSO section that every page of the three programs shares, with the program's own static
# sections (packaging/PROGRAM-*.h2m) between them.
# cmake -DPROGRAM=... -DOUTPUT=... -P CommandHelp.cmake
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed")
endif()
string(FIND "${help}" "\nSubcommands:\n" start)
set(text "")
if(start GREATER -1)
  string(SUBSTRING "${help}" ${start} -1 commands)
  string(REGEX MATCHALL "\n  [a-z][a-z-]* " names "${commands}")
  set(text "[COMMANDS]\nEach command takes the options above before its name and its own after it.\n")
  foreach(name IN LISTS names)
    string(STRIP "${name}" name)
    execute_process(COMMAND ${PROGRAM} ${name} --help OUTPUT_VARIABLE command_help)
    string(REPLACE "\\" "\\e" command_help "${command_help}")
    string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" command_help "${command_help}")
    string(APPEND text ".SS ${name}\n.nf\n${command_help}.fi\n")
  endforeach()
endif()
# A program's own static sections, as loadstar-cli-json.h2m documents its --json output.
get_filename_component(program_name ${PROGRAM} NAME_WE)
file(GLOB sections ${CMAKE_CURRENT_LIST_DIR}/${program_name}-*.h2m)
foreach(section IN LISTS sections)
  file(READ ${section} section_text)
  string(APPEND text "${section_text}")
endforeach()
string(APPEND text "[SEE ALSO]\n.BR loadstar (1),\n.BR loadstar-cli (1),\n.BR kel-emulator (1)\n")
file(WRITE ${OUTPUT} "${text}")
