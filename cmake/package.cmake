# Installing (cmake --install build --prefix P) and the Debian package (cpack in the build
# directory): the programs in bin, the runner of parts as quellspire-capture-parallel, the
# resources (with the rendered soundtrack and the font's licence) in share/quellspire, where the
# programs look for them beside their own directory, and a manual page for each program made
# from its --help.
include(GNUInstallDirs)

set(programs quellspire quellspire-capture quellspire-join)
install(TARGETS ${programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS tools/capture-parallel.sh DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME quellspire-capture-parallel)
# The runner's parts start the capture through it on a machine without a display; lib/, not
# the multiarch directory, where the runner looks for it beside bin/.
install(PROGRAMS tools/with-display.sh DESTINATION lib/quellspire RENAME with-display)
install(DIRECTORY resources/ DESTINATION ${CMAKE_INSTALL_DATADIR}/quellspire)
# The desktop's menu entry (full screen, as the player starts by default) and its icon, a still
# of flight (tools/make-icon.sh), in the sizes the icon theme looks for.
install(FILES cmake/desktop/quellspire.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 48 128 256 512)
    install(FILES cmake/desktop/quellspire-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quellspire.png)
endforeach()

# Manual pages from each program's --help and --version (the runner's version is the project's).
find_program(HELP2MAN help2man REQUIRED)
set(manpages "")
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/man)
set(summary_quellspire "play the self-running audiovisual production")
set(summary_quellspire-capture "render the production to PNG files or a video")
set(summary_quellspire-join "join the video segments of a capture's parts")
set(summary_quellspire-capture-parallel "run a capture in parts at once, here or on other machines")
foreach(program IN LISTS programs ITEMS quellspire-capture-parallel)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
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
        COMMAND ${HELP2MAN} --no-info --no-discard-stderr --version-string=${PROJECT_VERSION}
                "--name=${summary_${program}}" --output=${page} ${command}
        COMMAND gzip -9nf ${page}
        DEPENDS ${depends}
        COMMENT "Writing the manual page of ${program}"
        VERBATIM)
    list(APPEND manpages ${page}.gz)
endforeach()
add_custom_target(manpages ALL DEPENDS ${manpages})
install(FILES ${manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# What a Debian package documents: its copyright (with the font's licence) and its changelog
# (a native package's, as the version has no Debian revision).
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/quellspire)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/cmake/debian/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/cmake/debian/changelog
    VERBATIM)
add_custom_target(debianchangelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES cmake/debian/copyright ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quellspire)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# No mailbox exists: the address says that reports go to the project's issue tracker.
set(CPACK_PACKAGE_CONTACT "Quellspire authors <issue-tracker@quellspire.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-running real-time audiovisual production")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quellspire plays 194 seconds of pictures computed by OpenCL and drawn
with OpenGL, with its music. quellspire-capture renders it frame by frame
to PNG files or a video; quellspire-capture-parallel spreads a capture
over several processes or machines.")
# The libraries come from dpkg-shlibdeps; what the programs start or load by name does not
# show there: ffmpeg and ffprobe make the videos, an OpenCL driver computes the geometry.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg, pocl-opencl-icd | opencl-icd")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xvfb, xauth")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "parallel, rsync, openssh-client")
include(CPack)
