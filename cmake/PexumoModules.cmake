# One static library per folder of src/, each linking only the modules it builds on, so that the
# way the modules depend on each other is written down once, here, and checked (tests/layering).
#
#   pexumo_module(<name> [TARGET <target>] USES <module>... [LINKS <library>...])
#
# makes the library <target> (default pexumo_<name>) of src/<name>/*.cpp and *.h (main.cpp, a
# program's entry, excepted) and links it to the libraries of the modules it USES and to LINKS.
# Widgets are never in a module library: src/<name>/gui/ goes to pexumo_gui, whose folders are
# declared with pexumo_gui_folder().
#
# Every declaration is kept in the global property PEXUMO_LAYERS as "<folder>=<used;folders>";
# pexumo_write_layers() writes them to a file for the layering check.

function(pexumo_module name)
  cmake_parse_arguments(M "" "TARGET" "USES;LINKS" ${ARGN})
  if(NOT M_TARGET)
    set(M_TARGET pexumo_${name})
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${name}/*.cpp
       ${PROJECT_SOURCE_DIR}/src/${name}/*.h)
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  add_library(${M_TARGET} STATIC ${srcs})
  target_include_directories(${M_TARGET} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  foreach(used ${M_USES})
    get_property(used_target GLOBAL PROPERTY PEXUMO_TARGET_${used})
    if(NOT used_target)
      message(FATAL_ERROR "Module ${name} uses ${used}, which is not declared before it")
    endif()
    target_link_libraries(${M_TARGET} PUBLIC ${used_target})
  endforeach()
  target_link_libraries(${M_TARGET} PUBLIC ${M_LINKS})
  set_property(GLOBAL PROPERTY PEXUMO_TARGET_${name} ${M_TARGET})
  string(REPLACE ";" "," uses "${M_USES}")
  set_property(GLOBAL APPEND PROPERTY PEXUMO_LAYERS "${name}=${uses}")
endfunction()

# src/<name>/gui/ joins pexumo_gui; it may include the folders it USES (modules or other gui/
# folders) besides its own module.
function(pexumo_gui_folder name)
  cmake_parse_arguments(G "" "" "USES" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${name}/gui/*.cpp
       ${PROJECT_SOURCE_DIR}/src/${name}/gui/*.h)
  target_sources(pexumo_gui PRIVATE ${srcs})
  string(REPLACE ";" "," uses "${name},${G_USES}")
  set_property(GLOBAL APPEND PROPERTY PEXUMO_LAYERS "${name}/gui=${uses}")
endfunction()

function(pexumo_write_layers file)
  get_property(layers GLOBAL PROPERTY PEXUMO_LAYERS)
  string(REPLACE ";" "\n" text "${layers}")
  file(WRITE ${file} "${text}\n")
endfunction()
