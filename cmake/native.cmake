# Native build: the portable core and its unit tests, benchmarks.
find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB tarrow_unit_sources CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(tarrow_unit_tests ${tarrow_unit_sources})
target_include_directories(tarrow_unit_tests PRIVATE tests/unit)
target_link_libraries(tarrow_unit_tests PRIVATE tarrow_core GTest::gtest_main)
gtest_discover_tests(tarrow_unit_tests DISCOVERY_TIMEOUT 60)

file(GLOB tarrow_bench_sources CONFIGURE_DEPENDS bench/*_bench.cpp)
foreach(source IN LISTS tarrow_bench_sources)
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source} tests/unit/fake_os.cpp)
  target_include_directories(${name} PRIVATE tests/unit)
  target_link_libraries(${name} PRIVATE tarrow_core)
endforeach()
