# Installing (cmake --install build --prefix P) and the Debian package (cpack in the build
# directory): the programs in bin, the runner of parts as quellspire-capture-parallel, the
# resources (with the rendered soundtrack and the font's licence) in share/quellspire, where the
# programs look for them beside their own directory, and a manual page for each program made
# from its --help.
include(GNUInstallDirs)

# Two components, as two Debian packages: the programs (quellspire) and the resources they read,
# the same on every architecture (quellspire-data).
set(programs quellspire quellspire-capture quellspire-join)
install(TARGETS ${programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
install(PROGRAMS tools/capture-parallel.sh DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME quellspire-capture-parallel
        COMPONENT programs)
# The runner's parts start the capture through it on a machine without a display; the runner
# looks for it in ../libexec/quellspire beside itself.
install(PROGRAMS tools/with-display.sh DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quellspire RENAME with-display
        COMPONENT programs)
install(DIRECTORY resources/ DESTINATION ${CMAKE_INSTALL_DATADIR}/quellspire COMPONENT data)
# The desktop's menu entry (full screen, as the player starts by default), its icon (a still of
# the production, tools/make-icon.sh) in the sizes the icon theme looks for, and what a
# software centre lists.
install(FILES cmake/desktop/quellspire.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT programs)
foreach(size 16 24 32 48 64 128 256 512)
    install(FILES cmake/desktop/quellspire-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quellspire.png
            COMPONENT programs)
endforeach()
install(FILES cmake/desktop/org.quellspire.quellspire.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        COMPONENT programs)

# Dates that packaging writes (the manual pages', the archives' files) are the changelog's
# latest, so that the same sources give the same package bytes whenever they are packaged.
set(changelog ${CMAKE_SOURCE_DIR}/cmake/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
execute_process(COMMAND dpkg-parsechangelog -l ${changelog} -S Timestamp
                OUTPUT_VARIABLE sourcedate OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

# Manual pages from each program's --help and --version (the runner's version is the
# project's), with the sections of cmake/man/PROGRAM.h2m.
find_program(HELP2MAN help2man REQUIRED)
set(manpages "")
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/man)
set(summary_quellspire "play the self-running audiovisual production")
set(summary_quellspire-capture "render the production to PNG files or a video")
set(summary_quellspire-join "join the video segments of a capture's parts")
set(summary_quellspire-capture-parallel "run a capture in parts at once, here or on other machines")
foreach(program IN LISTS programs ITEMS quellspire-capture-parallel)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    set(include ${CMAKE_SOURCE_DIR}/cmake/man/${program}.h2m)
    if(program STREQUAL quellspire-capture-parallel)
        set(command ${CMAKE_BINARY_DIR}/man/${program})
        set(setup ${CMAKE_COMMAND} -E create_symlink ${CMAKE_SOURCE_DIR}/tools/capture-parallel.sh ${command})
        set(depends ${CMAKE_SOURCE_DIR}/tools/capture-parallel.sh)
    else()
        set(command $<TARGET_FILE:${program}>)
        set(setup ${CMAKE_COMMAND} -E true)
        set(depends ${program})
    endif()
    add_custom_command(OUTPUT ${page}.gz
        COMMAND ${setup}
        COMMAND ${CMAKE_COMMAND} -DCOMMAND=${command} "-DSUMMARY=${summary_${program}}" -DVERSION=${PROJECT_VERSION}
                -DINCLUDE=${include} -DPAGE=${page} -DEPOCH=${sourcedate} -P ${CMAKE_SOURCE_DIR}/cmake/manpage.cmake
        DEPENDS ${depends} ${include} ${CMAKE_SOURCE_DIR}/cmake/manpage.cmake ${changelog}
        COMMENT "Writing the manual page of ${program}"
        VERBATIM)
    list(APPEND manpages ${page}.gz)
endforeach()
add_custom_target(manpages ALL DEPENDS ${manpages})
install(FILES ${manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)

# What each Debian package documents: its copyright (with the font's licence) and its
# changelog (a native package's, as the version has no Debian revision); the programs' package
# also the README and NEWS, what changed for users.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND gzip -9nc ${changelog} > ${CMAKE_BINARY_DIR}/changelog.gz
    DEPENDS ${changelog}
    VERBATIM)
add_custom_target(debianchangelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
set(components programs data)
set(packages quellspire quellspire-data)
foreach(component package IN ZIP_LISTS components packages)
    install(FILES cmake/debian/copyright ${CMAKE_BINARY_DIR}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()
install(FILES README.md NEWS DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quellspire COMPONENT programs)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL programs data)
set(CPACK_PACKAGE_NAME quellspire)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# No mailbox exists: the address says that reports go to the project's issue tracker.
set(CPACK_PACKAGE_CONTACT "Quellspire authors <issue-tracker@quellspire.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME quellspire)
set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION "self-running real-time audiovisual production
Quellspire plays 194 seconds of pictures computed by OpenCL and drawn
with OpenGL, with its music. quellspire-capture renders it frame by frame
to PNG files or a video; quellspire-capture-parallel spreads a capture
over several processes or machines.")
set(CPACK_DEBIAN_DATA_PACKAGE_NAME quellspire-data)
set(CPACK_DEBIAN_DATA_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_DATA_PACKAGE_SECTION video)
set(CPACK_DEBIAN_DATA_DESCRIPTION "self-running real-time audiovisual production (data)
The shaders, OpenCL snippets, font and rendered soundtrack that
Quellspire reads, the same on every architecture.")
# What the programs start or load by name: ffmpeg and ffprobe make the videos, an OpenCL driver
# computes the geometry. cmake/cpack.cmake.in adds the libraries they link.
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_DEPENDS "quellspire-data (= ${PROJECT_VERSION}), ffmpeg, pocl-opencl-icd | opencl-icd")
list(TRANSFORM programs REPLACE "(.+)" "$<TARGET_FILE:\\1>" OUTPUT_VARIABLE executables)
list(JOIN executables " " executables)
configure_file(cmake/cpack.cmake.in ${CMAKE_BINARY_DIR}/CPackProject.cmake.in @ONLY)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/CPackProject.cmake INPUT ${CMAKE_BINARY_DIR}/CPackProject.cmake.in)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackProject.cmake)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_RECOMMENDS "xvfb, xauth")
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SUGGESTS "parallel, rsync, openssh-client")
include(CPack)
