# Writes a program's manual page, gzipped, with help2man from its --help and --version: the
# help's "Exit status:" paragraph moves into an EXIT STATUS section, and INCLUDE adds the rest
# (environment, files, see also). The page's date is SOURCE_DATE_EPOCH's, so that it is the
# same whenever it is made.
# cmake -DCOMMAND=program -DSUMMARY=text -DVERSION=v -DINCLUDE=file.h2m -DPAGE=dir/name.1 -DEPOCH=s -P manpage.cmake
execute_process(COMMAND ${COMMAND} --help OUTPUT_VARIABLE help COMMAND_ERROR_IS_FATAL ANY)
if(NOT help MATCHES "\nExit status: ([^\n]+(\n[^\n]+)*)\n?")
    message(FATAL_ERROR "${COMMAND} --help has no \"Exit status:\" paragraph")
endif()
string(REPLACE "${CMAKE_MATCH_0}" "" description "${help}")
string(REPLACE "-" "\\-" exits "${CMAKE_MATCH_1}")
file(READ ${INCLUDE} sections)
file(WRITE ${PAGE}.h2m "[EXIT STATUS]\n${exits}\n\n${sections}")

# help2man reads the help through a stand-in of the program's name that leaves the paragraph
# out; --version is the program's own.
get_filename_component(name ${PAGE} NAME_WLE)
get_filename_component(dir ${PAGE} DIRECTORY)
set(standin ${dir}/help/${name})
file(WRITE ${dir}/help/${name}.txt "${description}")
file(WRITE ${standin} "#!/bin/sh\nif [ \"$1\" = --help ]; then cat '${standin}.txt'; else exec '${COMMAND}' \"$@\"; fi\n")
file(CHMOD ${standin} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

set(ENV{SOURCE_DATE_EPOCH} ${EPOCH})
execute_process(COMMAND help2man --no-info --no-discard-stderr --version-string=${VERSION} --name=${SUMMARY}
                        --include=${PAGE}.h2m --output=${PAGE} ${standin}
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND gzip -9nf ${PAGE} COMMAND_ERROR_IS_FATAL ANY)
