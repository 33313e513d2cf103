# Checks of what ships (package/): the version resource as Windows reads it,
# the archive's contents, and the same bytes from a second build tree.

add_executable(version_resource_test ${CMAKE_CURRENT_LIST_DIR}/version_resource_test.cpp)
target_link_libraries(version_resource_test PRIVATE version)
saori_static_runtime(version_resource_test)
add_test(NAME version_resources
  COMMAND version_resource_test ${PROJECT_VERSION} $<TARGET_FILE:saori_speech> $<TARGET_FILE:saori-call>
          $<TARGET_FILE:speech-check>)

add_test(NAME release_archive_check
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_release.sh ${SAORI_ARCHIVE}
          $<TARGET_FILE:saori_speech> $<TARGET_FILE:saori-call> $<TARGET_FILE:speech-check>
          ${PROJECT_SOURCE_DIR}
          ${PROJECT_VERSION})

get_filename_component(toolchain "${CMAKE_TOOLCHAIN_FILE}" ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
file(RELATIVE_PATH archive ${CMAKE_BINARY_DIR} ${SAORI_ARCHIVE})
add_test(NAME release_reproducible
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_reproducible.sh
          ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/second-tree ${PROJECT_SOURCE_DIR}
          $<TARGET_FILE_NAME:saori_speech> $<TARGET_FILE_NAME:saori-call>
          $<TARGET_FILE_NAME:speech-check> ${archive}
          -- -G ${CMAKE_GENERATOR} -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
          -DCMAKE_TOOLCHAIN_FILE=${toolchain})
set_tests_properties(release_reproducible PROPERTIES TIMEOUT 1200)
