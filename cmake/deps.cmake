# deps.cmake - SQLite and FreeType, which the platform links, each behind an
# interface target ce_dep_NAME.
#
# A program whose CE_STATIC_DEPS property is on links SQLite and FreeType
# (with Brotli under it) from their archives when they are there
# (CESETUP_STATIC_DEPS): loading those four libraries cost every run some
# 1.5 ms of CPU in mapping, relocations and page faults, a tenth of a small
# removal. Everything else (the support library, which cannot take the
# archives' position-dependent code, the tests) links the shared ones.
# libpng and ncurses stay shared: their archives read the C library's
# stdin/stdout/stderr directly, which would copy those variables into the
# program's export table. So do libz (libpng's), libm, libdl and the C
# library.
option(CESETUP_STATIC_DEPS "Link the programs with the static archives of SQLite and FreeType" ON)

# Archives (in link order) for a pkg-config module and what its --static
# listing adds; empty when one of them is missing.
function(ce_static_archives out module)
  set(${out} "" PARENT_SCOPE)
  pkg_check_modules(_ce_static_${module} QUIET ${module})
  if(NOT _ce_static_${module}_FOUND)
    return()
  endif()
  set(_found "")
  foreach(_name IN LISTS _ce_static_${module}_STATIC_LIBRARIES)
    if(_name MATCHES "^(m|dl|pthread|rt|c|z|png16)$")
      list(APPEND _found ${_name})
      continue()
    endif()
    find_library(CE_STATIC_${_name} NAMES lib${_name}.a
                 HINTS ${_ce_static_${module}_STATIC_LIBRARY_DIRS})
    if(NOT CE_STATIC_${_name})
      message(STATUS "No static lib${_name}.a: the programs link ${module} shared")
      return()
    endif()
    list(APPEND _found ${CE_STATIC_${_name}})
  endforeach()
  set(${out} ${_found} PARENT_SCOPE)
endfunction()

function(ce_dep name imported module)
  add_library(ce_dep_${name} INTERFACE)
  set(_static "")
  if(CESETUP_STATIC_DEPS)
    ce_static_archives(_static ${module})
  endif()
  if(_static)
    set(CE_STATIC_${name} ON PARENT_SCOPE)
    # The headers always; the archives or the shared library by the target
    # that links (the head of the link, for the static libraries between).
    target_include_directories(ce_dep_${name} INTERFACE
                               $<TARGET_PROPERTY:${imported},INTERFACE_INCLUDE_DIRECTORIES>)
    set(_want $<BOOL:$<TARGET_PROPERTY:CE_STATIC_DEPS>>)
    target_link_libraries(ce_dep_${name} INTERFACE
                          "$<${_want}:${_static}>" "$<$<NOT:${_want}>:${imported}>")
  else()
    target_link_libraries(ce_dep_${name} INTERFACE ${imported})
  endif()
endfunction()

ce_dep(sqlite SQLite::SQLite3 sqlite3)
ce_dep(freetype Freetype::Freetype freetype2)
