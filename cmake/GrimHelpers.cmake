# Small helpers shared by every folder's CMakeLists.txt.

# grim_add_gtest(<name> SOURCES <files...> [LIBS <targets...>] [ENV <VAR=value...>] [LABELS <labels...>])
# One GoogleTest executable in bin/, registered with CTest as one test named <name>.
function(grim_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
  if(NOT GRIM_TESTS)
    return()
  endif()
  find_package(GTest REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    GRIM_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    GRIM_BINARY_DIR="${CMAKE_BINARY_DIR}"
    GRIM_SHARED_DIR="${CMAKE_SOURCE_DIR}/../shared")
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  if(ARG_ENV)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${ARG_ENV}")
  endif()
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()

# grim_add_fuzzer(<name> SOURCES <files...> [LIBS <targets...>])
# A libFuzzer target in bin/ (only with GRIM_FUZZ). Put its seed corpus in tests/fuzz/corpus/<name>/.
function(grim_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT GRIM_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY GRIM_FUZZERS ${name})
endfunction()

# grim_add_benchmark(<name> SOURCES <files...> [LIBS <targets...>])
# A Google Benchmark executable in bin/; never run by ctest (benchmarks print figures, they do not pass or fail).
function(grim_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT GRIM_BENCH)
    return()
  endif()
  find_package(benchmark REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    GRIM_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    GRIM_BINARY_DIR="${CMAKE_BINARY_DIR}"
    GRIM_SHARED_DIR="${CMAKE_SOURCE_DIR}/../shared")
endfunction()

# grim_add_library(<name> [STATIC|INTERFACE] SOURCES <files...> [LIBS <public targets...>])
# A folder's library; the repository root is on its include path, so includes read "media/archive.h".
function(grim_add_library name)
  cmake_parse_arguments(ARG "INTERFACE" "" "SOURCES;LIBS" ${ARGN})
  if(ARG_INTERFACE)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_LIBS})
  else()
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
endfunction()
