# Debian's hardening for every optimised build that is not sanitized, so that the programs
# scripts/package.sh packs (the default preset's) are built as Debian builds its own packages:
# the flags of dpkg-buildflags with all its hardening features (hardening=+all: stack protector
# strong, _FORTIFY_SOURCE=2, format security, RELRO, BIND_NOW; the compiler makes PIE by
# default), plus -fcf-protection and -fstack-clash-protection, which Debian 12's dpkg-buildflags
# does not give yet and Debian's next release gives by default. DEB_BUILD_OPTIONS and the
# DEB_*FLAGS_APPEND variables of dpkg-buildflags work as for any Debian package.
#
# Left out of what dpkg-buildflags gives: -O and -g where a build type sets them, and
# -ffile-prefix-map (it makes packages reproducible, but names the source folder, so builds of
# two worktrees could no longer share ccache hits).
#
# Sanitizer builds skip it (_FORTIFY_SOURCE and AddressSanitizer check the same calls twice),
# and so do Debug builds (_FORTIFY_SOURCE needs an optimised build and warns without one).

option(PEXUMO_HARDENING "Compile and link with Debian's hardening flags (dpkg-buildflags)" ON)

function(pexumo_dpkg_buildflags var out)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                          ${DPKG_BUILDFLAGS} --get ${var}
                  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-buildflags --get ${var} failed")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^(-ffile-prefix-map|-fdebug-prefix-map)=")
  if(CMAKE_BUILD_TYPE)
    list(FILTER flags EXCLUDE REGEX "^-(O|g)")
  endif()
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

string(TOUPPER "${CMAKE_BUILD_TYPE}" pexumo_build_type)
if(PEXUMO_HARDENING AND NOT PEXUMO_SANITIZE AND NOT PEXUMO_BUILD_FUZZ
   AND NOT pexumo_build_type STREQUAL "DEBUG")
  find_program(DPKG_BUILDFLAGS dpkg-buildflags)
  if(DPKG_BUILDFLAGS)
    pexumo_dpkg_buildflags(CPPFLAGS pexumo_cppflags)
    pexumo_dpkg_buildflags(CXXFLAGS pexumo_cxxflags)
    pexumo_dpkg_buildflags(LDFLAGS pexumo_ldflags)
    add_compile_options(${pexumo_cppflags} ${pexumo_cxxflags} -fcf-protection -fstack-clash-protection)
    add_link_options(${pexumo_ldflags})
    message(STATUS "Hardening: ${pexumo_cppflags} ${pexumo_cxxflags} -fcf-protection "
                   "-fstack-clash-protection; linking ${pexumo_ldflags}")
  else()
    message(STATUS "Hardening: dpkg-buildflags not found (package dpkg-dev); built without it")
  endif()
endif()
