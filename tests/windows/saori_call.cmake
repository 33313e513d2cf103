# Tests of saori-call, the command-line host: a shell script run natively
# with sh drives it under Wine (cmake/wine-run), in the tool host and as a
# program of its own, against plug-ins laid out in folders of their own:
#   saori_call/speech/          saori_speech.dll with the complete stand-in engine
#   saori_call/speech-unbound/  saori_speech.dll with AquesTalkDa.dll only
#   saori_call/echo/            a plug-in that answers with what it received
set(saori_call_root ${CMAKE_CURRENT_BINARY_DIR}/saori_call)

add_library(saori_call_echo_plugin SHARED ${CMAKE_CURRENT_LIST_DIR}/saori_call/echo_plugin.cpp)
set_target_properties(saori_call_echo_plugin PROPERTIES
  PREFIX "" OUTPUT_NAME echo_plugin
  RUNTIME_OUTPUT_DIRECTORY ${saori_call_root}/echo
  LIBRARY_OUTPUT_DIRECTORY ${saori_call_root}/echo)
saori_static_runtime(saori_call_echo_plugin)

# The plug-in looks for the engine in its own folder, so each folder gets
# its own copy of the plug-in beside the engine files it is to find.
add_custom_target(saori_call_test_folders ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${saori_call_root}/speech ${saori_call_root}/speech-unbound
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:saori_speech>
          $<TARGET_FILE:standin_complete_AquesTalk> $<TARGET_FILE:standin_complete_AquesTalkDa>
          ${saori_call_root}/speech/
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:saori_speech>
          $<TARGET_FILE:standin_no-synthesis-library_AquesTalkDa>
          ${saori_call_root}/speech-unbound/
  COMMENT "Laying out the saori-call test folders"
  VERBATIM)
add_dependencies(saori_call_test_folders saori_speech standin_engines saori-call saori_call_echo_plugin)

add_test(NAME saori_call
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/saori_call/saori_call_test.sh ${PROJECT_SOURCE_DIR}/cmake/wine-run
          $<TARGET_FILE:saori-call> $<TARGET_FILE:tool_host> ${saori_call_root})
# Wine reads the command line in the locale's encoding: UTF-8 here. Two
# program starts: the tool host and the program itself.
set_tests_properties(saori_call PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8" TIMEOUT 900)
