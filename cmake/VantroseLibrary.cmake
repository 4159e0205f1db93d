# vantrose_library(NAME DEPS...): one static library per layer folder, made of
# every *.cc in that folder. A folder without sources yet becomes an interface
# library so that the layers above can already name it.
function(vantrose_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()
