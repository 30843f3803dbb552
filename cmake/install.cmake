# Installation layout and the Debian package.
#
#   cmake --install <build> --prefix /usr     puts the program, its desktop
#   entry, its icons and its AppStream metadata where desktops look for them;
#   cpack -G DEB (in the build folder) makes velmora_<version>_<arch>.deb.

include(GNUInstallDirs)

# The desktop entry is named after the application id, which the program also
# gives the window system (Wayland's app_id), so docks match window and entry.
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/resources/velmora.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
  RENAME io.velmora.Velmora.desktop)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/resources/io.velmora.Velmora.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/resources/icons/hicolor
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
  FILES_MATCHING PATTERN "*.png")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "Velmora developers")
set(CPACK_PACKAGE_CONTACT "Velmora developers <dev@velmora.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Picture viewer with a Japanese user interface")
set(CPACK_PACKAGE_DESCRIPTION
  "Velmora shows BMP, ICO, CUR, JPEG, GIF, WMF, EMF and RLE pictures: a browser window with a
stretched preview and the picture's physical size, and a full-screen viewer at natural size.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://velmora.invalid/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps (package dpkg-dev). Every text is
# Japanese, so the font that has the glyphs is a hard dependency; Qt's own
# Japanese texts (dialog buttons, context menus) are welcome but not needed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-liberation2, fonts-dejavu-extra")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")

include(CPack)
