# Each source folder is one static library made of every .cpp/.h/.qrc in it,
# so adding a file never means editing a list. DEPS names the libraries the
# folder uses; its sources may include headers of exactly those folders of
# ours (checked at every build by cmake/CheckLayers.cmake).
function(varnelo_folder_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  varnelo_record_layer(${CMAKE_CURRENT_SOURCE_DIR} ${ARG_DEPS})
  if(NOT _src MATCHES "\\.cpp")
    # A folder whose classes are still to come: keep the dependency graph intact.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${_src})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  varnelo_warnings(${name})
endfunction()

# Notes "folder: the folders it may include" for the layer check; our libraries
# are named varnelo_<folder> with platform_ standing for platform/.
function(varnelo_record_layer dir)
  file(RELATIVE_PATH _folder ${PROJECT_SOURCE_DIR} ${dir})
  set(_allowed ${_folder})
  foreach(_dep IN LISTS ARGN)
    if(_dep MATCHES "^varnelo_(.+)$")
      string(REGEX REPLACE "^platform_" "platform/" _dep_folder "${CMAKE_MATCH_1}")
      list(APPEND _allowed ${_dep_folder})
    endif()
  endforeach()
  list(JOIN _allowed "," _line)
  set_property(GLOBAL APPEND PROPERTY VARNELO_LAYERS "${_line}")
endfunction()

# After every folder is known: a target of every build that fails on an include
# crossing the declared dependencies (a lower layer reaching up, or a feature
# using a library it does not name).
function(varnelo_layer_check)
  get_property(_layers GLOBAL PROPERTY VARNELO_LAYERS)
  list(JOIN _layers "\n" _text)
  file(WRITE ${PROJECT_BINARY_DIR}/layers.txt "${_text}\n")
  add_custom_target(varnelo_layer_check ALL
    COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} -DLAYERS=${PROJECT_BINARY_DIR}/layers.txt
            -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
    COMMENT "Checking includes against the folders' dependencies" VERBATIM)
endfunction()

function(varnelo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-missing-field-initializers)
endfunction()
