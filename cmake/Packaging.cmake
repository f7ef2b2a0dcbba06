# Where `cmake --install` puts the program, and what `cmake --build <build> --target package`
# makes of it: a .deb for Debian 12 and later Debian and Ubuntu releases with Qt 6, or, in the
# Windows cross build, a zip with the program, its guide and the licence side by side.
set(KX_PACKAGE_NAME keyexchange)
# Names the desktop entry, the icons and the AppStream data. The project has no domain of its own
# yet; whoever publishes the package puts the reverse of theirs here.
set(KX_APP_ID invalid.keyexchange.KeyExchange)
# The About box sends the student to the guide by this name.
set(KX_GUIDE_NAME læsmig.pdf)
# The page has no installer: its zip is made in web/.
if(EMSCRIPTEN)
    return()
endif()

set(CMAKE_INSTALL_DOCDIR share/doc/${KX_PACKAGE_NAME})
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME ${KX_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "KeyExchange maintainers <maintainers@keyexchange.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "teaches elliptic-curve Diffie-Hellman key exchange step by step")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Two students each enter a prime q, a curve, a point P and a secret a in\n"
       "hexadecimal, see their public point a*P, exchange small public-data files\n"
       "and arrive at the same shared point. The window and the guide are in Danish.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME ${KX_PACKAGE_NAME}-${PROJECT_VERSION}-windows-x64)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
    set(CPACK_DEBIAN_PACKAGE_SECTION education)
    # The libraries come from dpkg-shlibdeps; Qt loads its Danish texts at run time, and xdg-open
    # opens the guide from the About box.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-translations-l10n)
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
endif()
include(CPack)
