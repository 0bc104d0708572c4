# Rooms: one static library per top-level folder, linked one way only.
#
# A room's sources see, as include roots, only the rooms it is allowed to
# use: each library gets a folder of its own in the build tree that holds
# links to exactly those rooms. `#include "ui/x.h"` from the engine then
# finds no file and the build fails, instead of the layering eroding
# quietly.
#
#   orvik_room(engine SOURCES a.cpp b.cpp USES)
#   orvik_room(ui SOURCES ... USES engine shell)
#
# The library is orvik_<name>; `FOLDER` overrides the folder the room's
# links point to (platform/win32 lives in the room "platform").

function(orvik_room name)
  cmake_parse_arguments(ROOM "" "FOLDER" "SOURCES;USES;LIBRARIES" ${ARGN})
  if(NOT ROOM_FOLDER)
    set(ROOM_FOLDER ${name})
  endif()
  set(root ${PROJECT_BINARY_DIR}/rooms/${name})
  file(MAKE_DIRECTORY ${root})
  string(REGEX REPLACE "/.*" "" top ${ROOM_FOLDER})
  foreach(room ${top} ${ROOM_USES})
    if(NOT EXISTS ${root}/${room})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${room} ${root}/${room} SYMBOLIC)
    endif()
  endforeach()
  add_library(orvik_${name} STATIC ${ROOM_SOURCES})
  target_include_directories(orvik_${name} PUBLIC ${root})
  foreach(room ${ROOM_USES})
    if(TARGET orvik_${room})
      target_link_libraries(orvik_${name} PUBLIC orvik_${room})
    endif()
  endforeach()
  if(ROOM_LIBRARIES)
    target_link_libraries(orvik_${name} PUBLIC ${ROOM_LIBRARIES})
  endif()
endfunction()
