# The release's samples in real script engines (YAYA, Kawari and Satori
# built for Windows), under Wine, one test per engine
# (real_hosts/real_hosts_test.sh). The engines are not part of this project:
# they are looked for in ../shared/real-hosts beside the source tree, or in
# the folder SAORI_REAL_HOSTS names (read when the tree is configured, as
# `make test` does at every run). Where they are missing, one test
# (real_hosts) says so and is counted as skipped.
set(real_hosts_dir ${CMAKE_CURRENT_LIST_DIR}/real_hosts)

# A plug-in the ghost scripts call to move files between two calls, and a
# driver that runs Satori in several ghost folders in one process.
add_library(real_hosts_file_mover SHARED ${real_hosts_dir}/file_mover.cpp)
set_target_properties(real_hosts_file_mover PROPERTIES PREFIX "" OUTPUT_NAME file_mover)
add_executable(satori_ghosts ${real_hosts_dir}/satori_ghosts.cpp)
foreach(target real_hosts_file_mover satori_ghosts)
  saori_static_runtime(${target})
endforeach()

if(DEFINED ENV{SAORI_REAL_HOSTS})
  set(real_hosts $ENV{SAORI_REAL_HOSTS})
else()
  get_filename_component(real_hosts ${PROJECT_SOURCE_DIR}/../shared/real-hosts ABSOLUTE)
endif()

if(NOT EXISTS ${real_hosts}/bin)
  set(reason "real-host tests skipped: no script engines in ${real_hosts} (set SAORI_REAL_HOSTS to their folder)")
  message(STATUS "${reason}")
  add_test(NAME real_hosts COMMAND sh -c "echo '${reason}'; exit 77")
  set_tests_properties(real_hosts PROPERTIES SKIP_RETURN_CODE 77)
  return()
endif()

# Each engine starts one Windows program per ghost folder it runs (YAYA 3,
# Kawari 2, Satori 1 for all its folders); under emulated Wine each start
# costs most of a minute.
foreach(engine yaya kawari satori)
  add_test(NAME real_hosts_${engine}
    COMMAND sh ${real_hosts_dir}/real_hosts_test.sh ${engine} ${PROJECT_SOURCE_DIR}/cmake/wine-run
            ${real_hosts} ${SAORI_ARCHIVE} ${SAORI_STANDIN_DIR}
            $<TARGET_FILE:real_hosts_file_mover> $<TARGET_FILE:satori_ghosts>
            ${CMAKE_CURRENT_BINARY_DIR}/real_hosts/${engine})
  set_tests_properties(real_hosts_${engine} PROPERTIES
    ENVIRONMENT "LC_ALL=C.UTF-8" TIMEOUT 1200 SKIP_RETURN_CODE 77)
endforeach()
