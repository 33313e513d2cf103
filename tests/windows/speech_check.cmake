# Tests of speech-check, the check of a plug-in's folder: one shell script
# (speech_check/speech_check_test.sh) lays out a folder per situation from
# the plug-in, the stand-in engine and the DLLs built here, runs the check
# there under Wine and compares its report and exit status.
set(speech_check_dir ${CMAKE_CURRENT_LIST_DIR}/speech_check)

# A DLL whose own dependency is missing: it imports speech_check_support.dll.
add_library(speech_check_support SHARED ${speech_check_dir}/not_an_engine.cpp)
add_library(speech_check_needs_support SHARED ${speech_check_dir}/not_an_engine.cpp)
target_compile_definitions(speech_check_needs_support PRIVATE SPEECH_CHECK_NEEDS_SUPPORT)
target_link_libraries(speech_check_needs_support PRIVATE speech_check_support)
foreach(target speech_check_support speech_check_needs_support)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${target})
  saori_static_runtime(${target})
endforeach()

# A 64-bit DLL, from the x86-64 MinGW compiler (scripts/install-deps).
find_program(SAORI_MINGW64_CXX x86_64-w64-mingw32-g++ REQUIRED)
set(dll_64_bit ${CMAKE_CURRENT_BINARY_DIR}/speech_check_64_bit.dll)
add_custom_command(OUTPUT ${dll_64_bit}
  COMMAND ${SAORI_MINGW64_CXX} -shared -s -static-libgcc -o ${dll_64_bit} ${speech_check_dir}/not_an_engine.cpp
  DEPENDS ${speech_check_dir}/not_an_engine.cpp
  COMMENT "Building a 64-bit DLL for the speech-check tests"
  VERBATIM)
add_custom_target(speech_check_64_bit ALL DEPENDS ${dll_64_bit})

# A plug-in whose load answers 0 whatever it finds; it carries the plug-in's
# version resource, by which the check knows the plug-in. Without it, as
# built for saori-call's tests, it plays a ghost's script engine, which
# exports what a plug-in does.
add_library(speech_check_not_ready SHARED ${CMAKE_CURRENT_LIST_DIR}/saori_call/echo_plugin.cpp)
target_compile_definitions(speech_check_not_ready PRIVATE ECHO_LOAD_ANSWER=FALSE)
set_target_properties(speech_check_not_ready PROPERTIES PREFIX "" OUTPUT_NAME speech_check_not_ready)
saori_static_runtime(speech_check_not_ready)
saori_version_resource(speech_check_not_ready saori_speech.dll "A plug-in that is not ready, for tests")

add_test(NAME speech_check_situations
  COMMAND sh ${speech_check_dir}/speech_check_test.sh ${PROJECT_SOURCE_DIR}/cmake/wine-run
          $<TARGET_FILE:speech-check> $<TARGET_FILE:tool_host> $<TARGET_FILE:saori_speech> ${SAORI_STANDIN_DIR}
          $<TARGET_FILE:speech_check_needs_support> ${dll_64_bit}
          ${CMAKE_CURRENT_BINARY_DIR}/speech_check ${PROJECT_VERSION} $<TARGET_FILE:speech_check_not_ready>
          $<TARGET_FILE:saori_call_echo_plugin>)
# Wine reads the command line in the locale's encoding: UTF-8 here.
# Two program starts: the tool host and the program itself.
set_tests_properties(speech_check_situations PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8" TIMEOUT 900)
