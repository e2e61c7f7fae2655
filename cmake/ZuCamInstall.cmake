# `cmake --install`: the programs and the libraries they load live together
# in <libdir>/zucam (each finds the others beside itself, as in the build
# tree), <bindir> gets links to the programs, and the desktop gets its entry
# and icon.
include(GNUInstallDirs)
set(ZUCAM_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/zucam)
set(_zucam_programs zucam zucamd zucam-camera zucam-phone-sim)

install(TARGETS ${_zucam_programs} zup2p cordlink
    RUNTIME DESTINATION ${ZUCAM_INSTALL_DIR}
    LIBRARY DESTINATION ${ZUCAM_INSTALL_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/dist/linux/zucam.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/dist/linux/zucam.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Relative links, so a staged install (DESTDIR) or a moved prefix keeps working.
file(RELATIVE_PATH _zucam_link_target /${CMAKE_INSTALL_BINDIR} /${ZUCAM_INSTALL_DIR})
foreach(program ${_zucam_programs})
    install(CODE "
        set(_bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(MAKE_DIRECTORY \"\${_bin}\")
        file(CREATE_LINK \"${_zucam_link_target}/${program}\" \"\${_bin}/${program}\" SYMBOLIC)
        message(STATUS \"Installing: \${_bin}/${program} -> ${_zucam_link_target}/${program}\")
    ")
endforeach()
