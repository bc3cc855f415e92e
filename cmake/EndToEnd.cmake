# The checker of the end-to-end run (tests/e2e/run.sh): reads pixels of
# screenshots and the cursor the X server shows.
find_package(X11 COMPONENTS Xfixes)
if(X11_FOUND AND X11_Xfixes_FOUND)
  add_executable(e2e_probe ${CMAKE_SOURCE_DIR}/tests/e2e/probe.cpp)
  target_link_libraries(e2e_probe PRIVATE Qt6::Gui X11::X11 X11::Xfixes)
  set_target_properties(e2e_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
else()
  message(STATUS "libX11 or libXfixes headers missing: the end-to-end checker is not built")
endif()
