# The POSIX stand-in for Windows drives, for the main build and the fuzz build.
set(ORVIK_POSIX_SOURCES
  posix_file_system.cpp
)
list(TRANSFORM ORVIK_POSIX_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
