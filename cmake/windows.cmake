# Windows build: tarrow.exe and the tests that run under Wine.
enable_language(RC)

# Unicode everywhere, and no runtime DLLs to ship beside the program.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
if(MINGW)
  # No time stamp in the headers: two builds of one commit are the same bytes.
  add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
endif()

file(GLOB tarrow_win32_sources CONFIGURE_DEPENDS src/platform/win32/*.cpp)
add_library(tarrow_win32 STATIC ${tarrow_win32_sources})
target_link_libraries(tarrow_win32 PUBLIC tarrow_core advapi32 shell32 comdlg32 user32 gdi32 comctl32 ole32 shlwapi)

file(GLOB tarrow_app_sources CONFIGURE_DEPENDS src/app/*.cpp)
list(FILTER tarrow_app_sources EXCLUDE REGEX "/(console_)?main\\.cpp$")
add_library(tarrow_app STATIC ${tarrow_app_sources})
target_link_libraries(tarrow_app PUBLIC tarrow_win32)

add_executable(tarrow WIN32 src/app/main.cpp src/app/resources/tarrow.rc)
# tarrow.com: the same commands as a console program, which command prompts
# find before tarrow.exe and wait for.
add_executable(tarrow_console src/app/console_main.cpp src/app/resources/tarrow.rc)
set_target_properties(tarrow_console PROPERTIES OUTPUT_NAME tarrow SUFFIX .com)
# Its version resource names it, not tarrow.exe.
target_compile_definitions(tarrow_console PRIVATE TARROW_CONSOLE)
set(tarrow_programs tarrow tarrow_console)
foreach(program IN LISTS tarrow_programs)
  target_link_libraries(${program} PRIVATE tarrow_app)
  if(MINGW)
    target_link_options(${program} PRIVATE -municode)
  endif()
endforeach()

# tarrow.exe (and tarrow.com) loads no DLL before wWinMain has limited the search to the
# system folder: a DLL of a system name beside the program (in a Downloads
# folder) must never be loaded. Windows loads kernel32 and msvcrt from the
# system folder whatever the search order (they are known DLLs); every other
# system DLL is delay-loaded. MSVC's linker sets the search for the imports
# itself; mingw's has no such flag, so delay-load libraries with the import
# libraries' names go first on tarrow.exe's library path.
if(MSVC)
  foreach(program IN LISTS tarrow_programs)
    target_link_options(${program} PRIVATE /DEPENDENTLOADFLAG:0x800)
  endforeach()
elseif(MINGW)
  set(delay_dir ${CMAKE_BINARY_DIR}/delay-imports)
  set(delay_libraries)
  foreach(dll advapi32 comctl32 comdlg32 gdi32 ole32 shell32 shlwapi user32)
    find_library(import_library_${dll} ${dll} REQUIRED)
    set(def ${delay_dir}/${dll}.def)
    add_custom_command(OUTPUT ${delay_dir}/lib${dll}.a
      COMMAND ${CMAKE_COMMAND} -E make_directory ${delay_dir}
      COMMAND sh -c "{ echo 'LIBRARY ${dll}.dll'; echo EXPORTS; '${CMAKE_NM}' '${import_library_${dll}}' | sed -n 's/^.* I __imp_//p' | sort -u; } > '${def}'"
      COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --output-delaylib ${delay_dir}/lib${dll}.a
      DEPENDS ${import_library_${dll}} VERBATIM)
    list(APPEND delay_libraries ${delay_dir}/lib${dll}.a)
  endforeach()
  add_custom_target(tarrow_delay_imports DEPENDS ${delay_libraries})
  foreach(program IN LISTS tarrow_programs)
    add_dependencies(${program} tarrow_delay_imports)
    target_link_directories(${program} BEFORE PRIVATE ${delay_dir})
  endforeach()
endif()

# The Windows-side tests are built where they can run: under Wine when
# cross-building, or on Windows with a GoogleTest source tree at hand.
set(TARROW_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree for the Windows tests")
if(NOT EXISTS ${TARROW_GTEST_SOURCE}/CMakeLists.txt)
  message(STATUS "No GoogleTest source at ${TARROW_GTEST_SOURCE}: Windows tests not built")
  return()
endif()

# Wine sees the build machine's files on drive Z:.
if(CMAKE_CROSSCOMPILING)
  set(TARROW_DRIVE "Z:")
else()
  set(TARROW_DRIVE "")
endif()

# Tests run under Wine, in a prefix of their own inside the build tree.
set(TARROW_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
if(CMAKE_CROSSCOMPILING)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh ${TARROW_WINEPREFIX})
endif()

set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${TARROW_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

if(CMAKE_CROSSCOMPILING)
  add_test(NAME wine_prefix_setup
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh start ${TARROW_WINEPREFIX} ${CMAKE_SOURCE_DIR}/tests/fixtures)
  set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine)
  add_test(NAME wine_prefix_cleanup COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh stop ${TARROW_WINEPREFIX})
  set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine)
endif()

# An export carried to a computer that never ran Tarrow: a second prefix,
# made as the suite's is.
if(CMAKE_CROSSCOMPILING)
  add_test(NAME fresh_prefix_import
    COMMAND ${CMAKE_SOURCE_DIR}/tests/windows/fresh_prefix_import.sh ${TARROW_WINEPREFIX}
      ${CMAKE_BINARY_DIR}/wineprefix-fresh $<TARGET_FILE:tarrow_console> ${CMAKE_SOURCE_DIR})
  set_tests_properties(fresh_prefix_import PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wineprefix TIMEOUT 300)
endif()

# A program without resources, for the tests of icon files that hold none.
add_executable(tarrow_no_resources tests/windows/no_resources.cpp)

# Stand-ins for system DLLs placed beside a program, which must not be loaded.
foreach(dll version imm32)
  add_library(planted_${dll} SHARED tests/windows/planted_dll.cpp)
  set_target_properties(planted_${dll} PROPERTIES PREFIX "" OUTPUT_NAME ${dll}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/planted ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/planted)
endforeach()

# tests/windows/<suite>/*.cpp make one test program per suite.
file(GLOB tarrow_windows_suites LIST_DIRECTORIES true CONFIGURE_DEPENDS tests/windows/*)
foreach(suite_dir IN LISTS tarrow_windows_suites)
  if(NOT IS_DIRECTORY ${suite_dir})
    continue()
  endif()
  get_filename_component(suite ${suite_dir} NAME)
  file(GLOB suite_sources CONFIGURE_DEPENDS ${suite_dir}/*.cpp)
  set(target tarrow_${suite}_tests)
  add_executable(${target} ${suite_sources})
  target_include_directories(${target} PRIVATE tests/windows)
  target_link_libraries(${target} PRIVATE tarrow_app gtest_main)
  add_dependencies(${target} tarrow tarrow_console tarrow_no_resources planted_version planted_imm32)
  target_compile_definitions(${target} PRIVATE
    TARROW_FIXTURES=L"${TARROW_DRIVE}${CMAKE_SOURCE_DIR}/tests/fixtures"
    TARROW_EXE=L"${TARROW_DRIVE}$<TARGET_FILE:tarrow>"
    TARROW_COM=L"${TARROW_DRIVE}$<TARGET_FILE:tarrow_console>"
    TARROW_NO_RESOURCES_EXE=L"${TARROW_DRIVE}$<TARGET_FILE:tarrow_no_resources>"
    TARROW_PLANTED_DLLS=L"${TARROW_DRIVE}${CMAKE_BINARY_DIR}/planted")
  add_test(NAME ${suite} COMMAND ${target})
  set_tests_properties(${suite} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wineprefix TIMEOUT 300)
endforeach()

# The portable unit tests again, where wchar_t is two bytes as on Windows.
file(GLOB tarrow_unit_sources CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(tarrow_unit_tests ${tarrow_unit_sources})
target_include_directories(tarrow_unit_tests PRIVATE tests/unit)
target_link_libraries(tarrow_unit_tests PRIVATE tarrow_core gtest_main)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports a false -Wrestrict inside std::wstring at -O2.
  target_compile_options(tarrow_unit_tests PRIVATE -Wno-restrict)
endif()
add_test(NAME unit COMMAND tarrow_unit_tests)
set_tests_properties(unit PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wineprefix TIMEOUT 300)

# Benchmarks that print figures, run by hand under Wine or on Windows.
file(GLOB tarrow_winbench_sources CONFIGURE_DEPENDS bench/*_winbench.cpp)
foreach(source IN LISTS tarrow_winbench_sources)
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE tarrow_app psapi)
  target_include_directories(${name} PRIVATE tests/windows)
  if(MINGW)
    target_link_options(${name} PRIVATE -municode)
  endif()
endforeach()
# Makes the large registry the scan benchmark runs on.
add_executable(make_classes_root bench/make_classes_root.cpp)
target_link_libraries(make_classes_root PRIVATE tarrow_warnings shell32 advapi32)
if(MINGW)
  target_link_options(make_classes_root PRIVATE -municode)
endif()
