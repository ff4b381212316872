# Writes one man page, OUTPUT (gzipped), from PROGRAM's own --help and --version with help2man:
# its commands' help included (CommandHelp.cmake), dated SOURCE_DATE_EPOCH, and free of anything
# the build machine put in the help (the building user's uid in the per-user device folder), so
# that two builds of one source give the same page.
# cmake -DPROGRAM=... -DNAME=... -DOUTPUT=... -DHELP2MAN=... -DGZIP=... -DEPOCH=... -P ManPage.cmake
get_filename_component(folder ${OUTPUT} DIRECTORY)
string(REGEX REPLACE "\\.gz$" "" page ${OUTPUT})
set(include_file ${page}.h2m)
execute_process(COMMAND ${CMAKE_COMMAND} -DPROGRAM=${PROGRAM} -DOUTPUT=${include_file}
                        -P ${CMAKE_CURRENT_LIST_DIR}/CommandHelp.cmake
                COMMAND_ERROR_IS_FATAL ANY)
set(ENV{SOURCE_DATE_EPOCH} ${EPOCH})
set(ENV{LC_ALL} C.UTF-8)
execute_process(COMMAND ${HELP2MAN} --no-info --name=${NAME} --include=${include_file}
                        --output=${page} ${PROGRAM}
                COMMAND_ERROR_IS_FATAL ANY)
file(READ ${page} text)
string(REGEX REPLACE "/tmp/loadstar\\\\-[0-9]+" "/tmp/loadstar\\\\-<uid>" text "${text}")
string(REGEX REPLACE "/tmp/loadstar-[0-9]+" "/tmp/loadstar-<uid>" text "${text}")
file(WRITE ${page} "${text}")
execute_process(COMMAND ${GZIP} -9nf ${page} COMMAND_ERROR_IS_FATAL ANY)
