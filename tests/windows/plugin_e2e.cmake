# End-to-end tests of the built plug-in DLL: a Windows test program plays
# the host, loads saori_speech.dll and drives it against the stand-in engine;
# a shell check reads the exports and imports of the binaries.

# GoogleTest from Debian's sources, built for the cross target. Only what the
# test program links is built; nothing of it is installed.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(SAORI_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
add_subdirectory(${SAORI_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# MinGW's win32 thread model has no std::mutex, on which GoogleTest builds
# its thread start signal: a Win32 one is put in its place.
target_compile_definitions(gtest PUBLIC GTEST_HAS_NOTIFICATION_=1)
target_compile_options(gtest PUBLIC
  "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/plugin_gtest_notification.h>")

add_executable(plugin_e2e_test ${CMAKE_CURRENT_LIST_DIR}/plugin_e2e_test.cpp)
target_include_directories(plugin_e2e_test PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(plugin_e2e_test PRIVATE gtest psapi)
# The test program runs under Wine with no MinGW runtime DLLs beside it.
saori_static_runtime(plugin_e2e_test)
add_dependencies(plugin_e2e_test saori_speech standin_engines)
# Unix paths; the program turns them into Wine's Z: drive paths. The plug-in
# is loaded where it is built, so a rebuilt DLL is always the one tested.
target_compile_definitions(plugin_e2e_test PRIVATE
  PLUGIN_E2E_PLUGIN_FILE="$<TARGET_FILE:saori_speech>"
  PLUGIN_E2E_STANDIN_DIR="${SAORI_STANDIN_DIR}"
  PLUGIN_E2E_SCRATCH_DIR="${CMAKE_CURRENT_BINARY_DIR}/plugin_e2e_scratch")

# All cases in one process: each case loads the plug-in afresh and leaves
# nothing behind, and where Wine runs under emulation every process start
# costs most of a minute.
add_test(NAME plugin_e2e COMMAND plugin_e2e_test)
set_tests_properties(plugin_e2e PROPERTIES TIMEOUT 900)

# The cross emulator wraps only target commands, so the script runs with sh
# directly. A release build ships the plug-in and the tools stripped.
set(stripped_binaries)
if(CMAKE_BUILD_TYPE MATCHES "^(Release|MinSizeRel)$")
  set(stripped_binaries $<TARGET_FILE:saori_speech> $<TARGET_FILE:saori-call>
      $<TARGET_FILE:speech-check>)
endif()
add_test(NAME plugin_binary_check
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_binary.sh
          "${CMAKE_OBJDUMP}" $<TARGET_FILE:saori_speech> ${SAORI_STANDIN_DIR} ${stripped_binaries})
