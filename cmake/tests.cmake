# tests.cmake - the test programs and benchmarks (BUILD_TESTING).
find_package(GTest REQUIRED)
enable_testing()
include(GoogleTest)
file(GLOB CETESTHELPER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/helpers/*.cpp)
add_library(cetesthelpers STATIC ${CETESTHELPER_SOURCES} $<TARGET_OBJECTS:ceresources>)
target_include_directories(cetesthelpers PUBLIC ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/platform ${CMAKE_SOURCE_DIR})
target_link_libraries(cetesthelpers PUBLIC cesystem cesupport_obj ceplatform GTest::gtest)
target_compile_definitions(cetesthelpers PUBLIC
  CESETUP_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
  CESETUP_LIB_DIR="${CMAKE_BINARY_DIR}/lib"
  CESETUP_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  CESETUP_EXPORTS_TXT="${CMAKE_BINARY_DIR}/exports.txt")

# Client programs of the exported library, built as any C program would be:
# the example and the tests' probe.
foreach(_client cesupport_client:examples/client.c cesupport_probe:tests/client/probe.c)
  string(REPLACE ":" ";" _client ${_client})
  list(GET _client 0 _name)
  list(GET _client 1 _src)
  add_executable(${_name} ${CMAKE_SOURCE_DIR}/${_src})
  set_target_properties(${_name} PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
  target_compile_options(${_name} PRIVATE -pedantic -Werror)
  target_link_libraries(${_name} PRIVATE cesupport)
endforeach()

# One test program per folder of tests/; each test runs in its own process.
foreach(_area platform support registry script setup e2e frontends)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${_area}/*.cpp)
  if(_srcs)
    add_executable(test_${_area} ${_srcs})
    target_link_libraries(test_${_area} PRIVATE cetesthelpers GTest::gtest_main)
    add_dependencies(test_${_area} cesetup cedevice cesupport cesupport_client cesupport_probe)
    gtest_discover_tests(test_${_area} DISCOVERY_MODE PRE_TEST
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR} PROPERTIES TIMEOUT 120)
  endif()
endforeach()

# The graphical front end's run sends the host window's close request itself.
find_package(X11 REQUIRED)
if(TARGET test_frontends)
  target_link_libraries(test_frontends PRIVATE X11::X11)
endif()

# The installed prefix, seen from outside: headers alone in C and C++, the
# example built with pkg-config and run under cedevice run.
add_test(NAME install.prefix
  COMMAND sh ${CMAKE_SOURCE_DIR}/tests/install/install_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
set_tests_properties(install.prefix PROPERTIES TIMEOUT 120)

# The build tree's programs as the loader sees them: no library looked for in
# the current folder, SQLite and FreeType inside them when linked so.
set(_static_libs "")
foreach(_dep sqlite freetype)
  if(CE_STATIC_${_dep})
    list(APPEND _static_libs ${_dep})
  endif()
endforeach()
list(JOIN _static_libs " " _static_libs)
add_test(NAME install.programs
  COMMAND sh ${CMAKE_SOURCE_DIR}/tests/install/programs_test.sh ${CMAKE_BINARY_DIR} "${_static_libs}")
set_tests_properties(install.programs PROPERTIES TIMEOUT 60)

# ---------------------------------------------------------------- benchmarks
if(CESETUP_BENCH)
  find_package(benchmark REQUIRED)
  file(GLOB CEBENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
  foreach(_src IN LISTS CEBENCH_SOURCES)
    get_filename_component(_name ${_src} NAME_WE)
    add_executable(${_name} ${_src})
    target_link_libraries(${_name} PRIVATE cetesthelpers benchmark::benchmark)
  endforeach()
endif()

# No platform area uses one above it: its includes and its libraries' symbols.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
foreach(_check includes links)
  add_test(NAME layering.${_check}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/layering/layering_test.py ${_check}
            ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
endforeach()
