# Reproducible Windows programs: two builds of the same commit, in any build
# folder, give the same bytes.
#
# The time stamp of the build is SOURCE_DATE_EPOCH when it is set at
# configure time, else the date of the last commit, else (a source tree
# outside git) the date of the top CMakeLists.txt, which git archive sets
# to the commit's date. GNU ld writes it as the PE header's TimeDateStamp
# (and computes the checksum after it) when the variable is in the linker's
# environment; the CD image takes its file and volume dates from it too.
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
  set(ORVIK_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  find_package(Git QUIET)
  set(_orvik_commit_time "")
  # Only this tree's own history counts, not that of a repository around it.
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE _orvik_git_top OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
  endif()
  file(REAL_PATH "${PROJECT_SOURCE_DIR}" _orvik_source_dir)
  if(_orvik_git_top)
    file(REAL_PATH "${_orvik_git_top}" _orvik_git_top)
  endif()
  if(GIT_FOUND AND _orvik_git_top STREQUAL _orvik_source_dir)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE _orvik_commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --absolute-git-dir
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE _orvik_git_dir OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
    # A new commit changes the date: configure again then.
    if(_orvik_git_dir AND EXISTS "${_orvik_git_dir}/logs/HEAD")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                   "${_orvik_git_dir}/logs/HEAD")
    endif()
  endif()
  if(_orvik_commit_time MATCHES "^[0-9]+$")
    set(ORVIK_SOURCE_DATE_EPOCH "${_orvik_commit_time}")
  else()
    file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt ORVIK_SOURCE_DATE_EPOCH "%s" UTC)
  endif()
endif()
message(STATUS "SOURCE_DATE_EPOCH for the programs and the CD image: ${ORVIK_SOURCE_DATE_EPOCH}")

if(WIN32)
  # No build folder or source folder in the programs (__FILE__, debug info).
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                      -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
  set(CMAKE_CXX_LINKER_LAUNCHER
      ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${ORVIK_SOURCE_DATE_EPOCH})
endif()
