# The macOS shell's own .mm files built and run on GNUstep with the libobjc2 runtime. Linux only:
# a Mac builds and signs the real application instead.
if(NOT APPLE)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/gnustep ${CMAKE_CURRENT_BINARY_DIR}/gnustep)
endif()
