# What makes the shipped Windows binaries (the plug-in DLL and saori-call)
# fit for a release: a version resource from the project's version, no
# debugging sections, and the same bytes from every build of one commit.

set(SAORI_PRODUCT_NAME "saori-speech")
set(SAORI_COPYRIGHT "Copyright (c) 2026 saori-speech contributors")

if(MSVC)
  # No time stamps in objects or in the linked image.
  add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:/Brepro>)
  add_link_options(/Brepro)
endif()

# Gives `target` the version resource (package/version.rc) under its file
# name, with a one-line description.
function(saori_version_resource target file_name description)
  get_filename_component(internal_name ${file_name} NAME_WLE)
  if(file_name MATCHES "\\.dll$")
    set(file_type VFT_DLL)
  else()
    set(file_type VFT_APP)
  endif()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/version_info/${target})
  configure_file(${PROJECT_SOURCE_DIR}/package/version_info.h.in ${dir}/version_info.h @ONLY)
  set(rc ${PROJECT_SOURCE_DIR}/package/version.rc)
  target_sources(${target} PRIVATE ${rc})
  target_include_directories(${target} PRIVATE ${dir})
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${dir}/version_info.h)
endfunction()

# Links `target` without a time stamp in its PE header and, in the release
# configurations, without debugging sections and symbols (they come with
# the static runtime libraries and would double the file's size).
function(saori_release_binary target)
  if(MINGW)
    target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp
                        $<$<CONFIG:Release,MinSizeRel>:-s>)
  endif()
endfunction()
