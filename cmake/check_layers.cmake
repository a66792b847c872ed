# Fails when a source of the layered folders includes a header of a folder
# above its own. The folders, lowest first; a folder may include its own
# headers and those of any folder below it, never one beside or above it:
#
#   platform -> store -> billing -> settings -> sync -> rapi -> emulator
#            -> reporting -> documents, maint -> app
#
# sync holds the handheld as the desktop sees it (CePlatform, the property
# buffer) and the synchronization over it; rapi is the client over SynCE's
# library, a CePlatform, and the RAPI wire format; emulator is the emulated
# handheld and its RAPI server, which answers in that wire format. The
# docked handheld, which picks the emulated handheld or the RAPI one, lives
# in emulator: the lowest folder that sees both. documents sits above
# reporting because the invoice bills the rows the main window's model has
# marked; documents and maint share a level and use nothing of each other.
# billing (rounding, periods, rates, hour texts) never reads the registry.
# Each folder's ui/ sub-folder belongs to its folder. A folder not (yet) in
# the tree is simply empty.
set(layers platform store billing settings sync rapi emulator reporting "documents;maint" app)
set(rank 0)
foreach(level ${layers})
  foreach(dir ${level})
    set(rank_${dir} ${rank})
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

set(bad "")
foreach(dir ${layers})
  file(GLOB_RECURSE files ${SOURCE_DIR}/${dir}/*.h ${SOURCE_DIR}/${dir}/*.cpp)
  foreach(f ${files})
    file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z_]+/")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([a-z_]+)/.*" "\\1" target "${line}")
      if(NOT DEFINED rank_${target} OR target STREQUAL dir)
        continue()
      endif()
      if(NOT rank_${target} LESS rank_${dir})
        file(RELATIVE_PATH name ${SOURCE_DIR} ${f})
        list(APPEND bad "${name}: ${dir} may not include ${target}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(bad)
  list(JOIN bad "\n" text)
  message(FATAL_ERROR "includes against the order of the folders:\n${text}")
endif()
message(STATUS "includes follow the order of the folders")
