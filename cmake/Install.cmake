# Installation: the program folder lib/glimmet holds the executable with its
# data folder beside it (the program lists data/ next to its own real path),
# bin/glimmet links to it, and the desktop entry and icon go to share/.
set(GLIMMET_PROGRAM_DIR lib/glimmet)

install(TARGETS glimmet RUNTIME DESTINATION ${GLIMMET_PROGRAM_DIR})
install(DIRECTORY DESTINATION ${GLIMMET_PROGRAM_DIR}/data)
install(DIRECTORY ${CMAKE_BINARY_DIR}/data/ DESTINATION ${GLIMMET_PROGRAM_DIR}/data
        OPTIONAL FILES_MATCHING PATTERN "*.jpg")

# A relative link, so the installed tree can be moved (and packaged) whole.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
file(CREATE_LINK ../${GLIMMET_PROGRAM_DIR}/glimmet ${CMAKE_BINARY_DIR}/install-links/glimmet SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/install-links/glimmet DESTINATION bin)

install(FILES ${CMAKE_SOURCE_DIR}/app/glimmet.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/app/glimmet.svg DESTINATION share/icons/hicolor/scalable/apps)

# Debian package: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glimmet)
set(CPACK_PACKAGE_VENDOR "Glimmet developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "JPEG picture browser with a thumbnail grid")
set(CPACK_PACKAGE_DESCRIPTION
    "Glimmet shows the folders of the file system as a tree, the JPEG pictures of the chosen folder as a grid of thumbnails, and the picture last clicked at its natural size.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Glimmet developers <glimmet@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
