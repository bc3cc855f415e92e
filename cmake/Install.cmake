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

# AppStream metadata. The project has no home of its own yet: both values are
# placeholders, to be set when it has one.
set(GLIMMET_APP_ID "org.example.Glimmet" CACHE STRING "AppStream component id (reverse domain name)")
set(GLIMMET_SCREENSHOT_URL "https://example.org/glimmet/window.png" CACHE STRING
    "Address of the screenshot (docs/window.png) named in the AppStream metadata")
set(GLIMMET_METAINFO ${CMAKE_BINARY_DIR}/${GLIMMET_APP_ID}.metainfo.xml)
configure_file(${CMAKE_SOURCE_DIR}/app/glimmet.metainfo.xml.in ${GLIMMET_METAINFO} @ONLY)
install(FILES ${GLIMMET_METAINFO} DESTINATION share/metainfo)

# The manual page and the package's changelog, compressed as Debian wants them.
set(GLIMMET_COMPRESSED ${CMAKE_BINARY_DIR}/compressed)
foreach(source app/glimmet.1 cmake/debian/changelog)
  get_filename_component(name ${source} NAME)
  list(APPEND GLIMMET_COMPRESSED_FILES ${GLIMMET_COMPRESSED}/${name}.gz)
  add_custom_command(
    OUTPUT ${GLIMMET_COMPRESSED}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${GLIMMET_COMPRESSED}
    COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${CMAKE_SOURCE_DIR}/${source} ${GLIMMET_COMPRESSED}/${name}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/${source}
    COMMENT "Compressing ${source}"
    VERBATIM)
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${GLIMMET_COMPRESSED_FILES})
install(FILES ${GLIMMET_COMPRESSED}/glimmet.1.gz DESTINATION share/man/man1)
install(FILES ${GLIMMET_COMPRESSED}/changelog.gz ${CMAKE_SOURCE_DIR}/cmake/debian/copyright
        DESTINATION share/doc/glimmet)

# Debian package: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glimmet)
set(CPACK_PACKAGE_VENDOR "The Glimmet developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "JPEG picture browser with a thumbnail grid")
set(CPACK_PACKAGE_DESCRIPTION
    "Glimmet shows the folders of the file system as a tree, the JPEG pictures\nof the chosen folder as a grid of thumbnails, and the picture last clicked\nat its natural size. It opens the folder or picture it is given.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A placeholder address until the project has a home (the changelog names it too).
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Glimmet developers <glimmet@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
