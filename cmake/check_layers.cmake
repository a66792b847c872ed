# Fails when a source of the layered folders includes a header of a folder
# above its own. The folders, lowest first; a folder may include its own
# headers and those of any folder below it, never one beside or above it:
#
#   platform -> store -> billing -> settings -> device -> reporting -> documents, maint -> app
#
# documents sits above reporting because the invoice bills the rows the main
# window's model has marked; documents and maint share a level and use
# nothing of each other. billing (rounding, periods, rates, hour texts) never
# reads the registry. Each folder's ui/ sub-folder belongs to its folder.
set(layers platform store billing settings device reporting "documents;maint" app)
set(rank 0)
foreach(level ${layers})
  foreach(dir ${level})
    set(rank_${dir} ${rank})
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

set(bad "")
foreach(dir platform store billing settings device reporting documents maint app)
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
