# platform.cmake - the emulated device, one static library per area.
#
# Each area links only the areas below it, spelt out here; the layering
# test (tests/layering) checks the symbols the libraries take from each
# other and the headers the areas include against this list. From the
# bottom:
#   lasterror   the thread's last error (kernel/lasterror.cpp), under all
#   text        code page, case folding, wsprintfW
#   kernel      handles, files, store, module, processes, the device folder
#   registry    the registry database
#   gdi         device contexts, bitmaps, the screen framebuffer
#   user        window manager, dialogs, controls, message boxes, resources
#   commctrl    the common controls (progress bar)
#   shell       shortcuts, special folders, bitmap files
#   device      the device's life over all of them, the transcript
#   frontends   gui (Xlib on X, SDL elsewhere, loaded when it starts), tui (ncurses, the same),
#               unattended, screenshots (PNG)
# The outline font (gdi/font.cpp, FreeType) installs itself into gdi in the
# programs that link it; the support library does not.
set(CE_AREAS "")
function(ce_area name)
  cmake_parse_arguments(A "" "" "SOURCES;EXCLUDE;DEPS;LIBS" ${ARGN})
  set(_files "")
  foreach(_glob IN LISTS A_SOURCES)
    file(GLOB _found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/${_glob})
    list(APPEND _files ${_found})
  endforeach()
  foreach(_ex IN LISTS A_EXCLUDE)
    list(REMOVE_ITEM _files ${CMAKE_SOURCE_DIR}/platform/${_ex})
  endforeach()
  add_library(ceplat_${name} STATIC ${_files} ${CE_EMPTY_UNIT})
  target_include_directories(ceplat_${name} PUBLIC ${CMAKE_SOURCE_DIR}/platform/include ${CMAKE_SOURCE_DIR}/platform)
  set(_deps "")
  foreach(_d IN LISTS A_DEPS)
    list(APPEND _deps ceplat_${_d})
  endforeach()
  target_link_libraries(ceplat_${name} PUBLIC ${_deps} ${A_LIBS})
  set(CE_AREAS ${CE_AREAS} ${name} PARENT_SCOPE)
  string(REPLACE ";" " " _deplist "${A_DEPS}")
  set_property(GLOBAL APPEND PROPERTY CE_AREA_GRAPH "${name}:${_deplist}")
endfunction()

ce_area(lasterror SOURCES kernel/lasterror.cpp)
ce_area(text      SOURCES text/*.cpp DEPS lasterror)
ce_area(kernel    SOURCES kernel/*.cpp EXCLUDE kernel/lasterror.cpp DEPS text lasterror LIBS Threads::Threads)
ce_area(registry  SOURCES registry/*.cpp DEPS kernel text lasterror LIBS ce_dep_sqlite)
ce_area(gdi       SOURCES gdi/*.cpp EXCLUDE gdi/font.cpp DEPS kernel text lasterror)
ce_area(user      SOURCES user/*.cpp DEPS gdi kernel text lasterror)
ce_area(commctrl  SOURCES commctrl/*.cpp DEPS user gdi kernel text lasterror)
ce_area(shell     SOURCES shell/*.cpp DEPS gdi kernel text lasterror)
ce_area(device    SOURCES device/*.cpp EXCLUDE device/client.cpp
                  DEPS registry commctrl shell user gdi kernel text lasterror
                  LIBS nlohmann_json::nlohmann_json)
ce_area(frontends SOURCES frontends/*.cpp DEPS device user gdi kernel text lasterror
                  LIBS PNG::PNG nlohmann_json::nlohmann_json ${CMAKE_DL_LIBS})
# Xlib and SDL are loaded when the gui starts (frontends/x11_api.h, sdl_api.h),
# ncurses when the tui does (frontends/curses_api.h): only their headers are
# used here.
target_include_directories(ceplat_frontends PRIVATE ${CURSES_INCLUDE_DIRS}
                           $<TARGET_PROPERTY:SDL2::SDL2,INTERFACE_INCLUDE_DIRECTORIES>)

# The default font's ASCII glyphs, made at build time by the same
# code (fontgen) for the font file found now; a run on that very file takes
# them from the table instead of hinting each with FreeType. Without the
# file the table is empty and changes nothing.
set(CE_DEFAULT_FONT_FILE /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf)
add_executable(ce_fontgen ${CMAKE_SOURCE_DIR}/platform/gdi/fontgen/main.cpp
               ${CMAKE_SOURCE_DIR}/platform/gdi/font.cpp)
target_link_libraries(ce_fontgen PRIVATE ceplat_gdi ce_dep_freetype)
set(_font_table ${CMAKE_BINARY_DIR}/generated/font_table.cpp)
set(_font_depends ce_fontgen)
if(EXISTS ${CE_DEFAULT_FONT_FILE})
  list(APPEND _font_depends ${CE_DEFAULT_FONT_FILE})
endif()
add_custom_command(OUTPUT ${_font_table}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
                   # The font and its glyphs are kept for the life of a
                   # process, which a sanitizer build's leak check counts.
                   COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
                           $<TARGET_FILE:ce_fontgen> ${CE_DEFAULT_FONT_FILE} ${_font_table}
                   DEPENDS ${_font_depends}
                   COMMENT "Making the default font's glyph table")

add_library(ceplat_font OBJECT ${CMAKE_SOURCE_DIR}/platform/gdi/font.cpp ${_font_table})
target_link_libraries(ceplat_font PUBLIC ceplat_gdi ce_dep_freetype)

# The whole device with its front ends and outline font, for the programs
# and the tests. The font's object goes into each program that links this.
add_library(ceplatform INTERFACE)
target_link_libraries(ceplatform INTERFACE ceplat_frontends ceplat_device ce_dep_freetype)
target_sources(ceplatform INTERFACE $<TARGET_OBJECTS:ceplat_font>)

# The declared graph, for the layering test: one "area:dep dep" a line.
get_property(_graph GLOBAL PROPERTY CE_AREA_GRAPH)
list(JOIN _graph "\n" _graph_txt)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/areas.txt CONTENT "${_graph_txt}\n" @ONLY)
