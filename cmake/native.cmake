# Native build: the portable core and its unit tests, benchmarks.
find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB tarrow_unit_sources CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(tarrow_unit_tests ${tarrow_unit_sources})
target_include_directories(tarrow_unit_tests PRIVATE tests/unit)
target_link_libraries(tarrow_unit_tests PRIVATE tarrow_core GTest::gtest_main)
gtest_discover_tests(tarrow_unit_tests DISCOVERY_TIMEOUT 60)

# The in-memory OS the benchmarks and fuzz targets run on.
add_library(tarrow_fake_os STATIC tests/unit/fake_os.cpp)
target_include_directories(tarrow_fake_os PUBLIC tests/unit)
target_link_libraries(tarrow_fake_os PUBLIC tarrow_core)

file(GLOB tarrow_bench_sources CONFIGURE_DEPENDS bench/*_bench.cpp)
foreach(source IN LISTS tarrow_bench_sources)
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE tarrow_fake_os)
endforeach()

# Fuzz targets (fuzz/*_fuzz.cpp). Every native build replays each one's seed
# corpus, tests/fixtures/fuzz/<name>/, as a test; with clang and TARROW_FUZZ=ON
# they are also built as libFuzzer programs (scripts/fuzz.sh runs them).
option(TARROW_FUZZ "Build the libFuzzer programs (clang only)" OFF)
if(TARROW_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TARROW_FUZZ needs clang for libFuzzer")
  endif()
  # Coverage of the code under test is what guides the fuzzer.
  target_compile_options(tarrow_core PRIVATE -fsanitize=fuzzer-no-link)
  set(fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  add_custom_target(fuzzers)
endif()
add_library(tarrow_fuzz_replay OBJECT fuzz/replay_main.cpp)
target_link_libraries(tarrow_fuzz_replay PRIVATE tarrow_warnings)
file(GLOB tarrow_fuzz_sources CONFIGURE_DEPENDS fuzz/*_fuzz.cpp)
foreach(source IN LISTS tarrow_fuzz_sources)
  get_filename_component(target ${source} NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" name ${target})
  add_executable(${target}_replay ${source})
  target_link_libraries(${target}_replay PRIVATE tarrow_fake_os tarrow_fuzz_replay)
  add_test(NAME fuzz_replay_${name}
    COMMAND ${target}_replay ${CMAKE_CURRENT_SOURCE_DIR}/tests/fixtures/fuzz/${name})
  if(TARROW_FUZZ)
    add_executable(${target} ${source})
    target_link_libraries(${target} PRIVATE tarrow_fake_os)
    target_compile_options(${target} PRIVATE ${fuzz_flags})
    target_link_options(${target} PRIVATE ${fuzz_flags})
    add_dependencies(fuzzers ${target})
  endif()
endforeach()

# Writes the sources of the many-icon DLL the grid benchmark runs on.
add_executable(make_icon_library bench/make_icon_library.cpp)
target_link_libraries(make_icon_library PRIVATE tarrow_warnings)
