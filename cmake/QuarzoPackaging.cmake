# What `make install` puts on a system and what `make package` wraps: the console program, the
# simulator and their manual pages in a Debian package; the Windows program in a zip. Packaged
# executables are stripped of their debug information.
include(GNUInstallDirs)

set(QUARZO_DOCS ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE)

if(WIN32)
    install(TARGETS quarzo_gui RUNTIME DESTINATION .)
    install(FILES ${QUARZO_DOCS} DESTINATION .)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_SYSTEM_NAME windows-x86)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(CPACK_SYSTEM_NAME windows-x64)
    endif()
else()
    foreach(page quarzo.1 quarzo-sim.1)
        configure_file(${PROJECT_SOURCE_DIR}/doc/${page} ${PROJECT_BINARY_DIR}/doc/${page} @ONLY)
        install(FILES ${PROJECT_BINARY_DIR}/doc/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endforeach()
    install(TARGETS quarzo quarzo-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${QUARZO_DOCS} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quarzo)
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # the libraries the programs link, as dpkg-shlibdeps finds them
    set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Quarzo developers <quarzo@localhost>")
endif()

set(CPACK_PACKAGE_NAME quarzo)
set(CPACK_PACKAGE_VENDOR "The Quarzo developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Flash programmer for MSP430 microcontrollers")
set(CPACK_PACKAGE_DESCRIPTION
    "Programs, verifies and reads the flash memory of MSP430 F1xx, F2xx and F4xx microcontrollers through the serial bootstrap loader or the vendor's FET library, with a virtual target for trying it without hardware.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
include(CPack)
