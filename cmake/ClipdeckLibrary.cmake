# clipdeck_library(<target> [SHARED] SOURCES <files...> [LIBS <targets...>]
#                  [PRIVATE_LIBS <targets...>])
# A subsystem library. Headers are included by their path from the repository root
# ("audio/engine/CAMutex.h"), so every library exposes the root as its include folder.
# LIBS are the libraries its headers build on (users get them too); PRIVATE_LIBS those only
# its sources use: the outside libraries a platform layer stands on, whose headers code
# above platform/ never sees.
function(clipdeck_library target)
  cmake_parse_arguments(ARG "SHARED" "" "SOURCES;LIBS;PRIVATE_LIBS" ${ARGN})
  if(ARG_SHARED)
    add_library(${target} SHARED ${ARG_SOURCES})
  else()
    add_library(${target} STATIC ${ARG_SOURCES})
  endif()
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${ARG_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()
