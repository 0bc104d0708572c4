# The engine's sources, for the main build and the fuzz build alike.
set(ORVIK_ENGINE_SOURCES
  cd_source.cpp
  copy_engine.cpp
  copy_list.cpp
  debug_log.cpp
  file_system.cpp
  install_message.cpp
  line_reader.cpp
  result_codes.cpp
  settings_file.cpp
  sha256.cpp
  temporary_file.cpp
  windows_path.cpp
)
list(TRANSFORM ORVIK_ENGINE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
