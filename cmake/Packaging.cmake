# Installation into the usual places and a Debian package of the client.
# The stand-ins and the tour are development tools and stay out of it.
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/resources/kovrit.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/img/kovrit_256x256.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps
        RENAME kovrit.png)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kovrit)
set(CPACK_PACKAGE_VENDOR "kovrit")
set(CPACK_PACKAGE_CONTACT "kovrit maintainers <kovrit@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Shooting range client for the RM3 evaluation machine")
set(CPACK_PACKAGE_DESCRIPTION
    "kovrit reads the shots of paper target cards from an RM3 evaluation machine over a serial line, shows them and submits them to a competition server. German user interface.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# dpkg-shlibdeps finds the Qt libraries the program links; the platform
# plugins that open a window and the German texts of the toolkit's own
# dialogs are loaded at run time and named by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
include(CPack)
