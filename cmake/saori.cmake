# Helpers shared by the project's CMake files.

# A static library of the portable core under the given name.
function(saori_add_core name)
  list(TRANSFORM SAORI_CORE_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE sources)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(NOT WIN32)
    target_link_libraries(${name} PUBLIC ${CMAKE_DL_LIBS})
  endif()
endfunction()

function(saori_sanitize target)
  target_compile_options(${target} PUBLIC -fsanitize=address,undefined -fno-sanitize-recover=all
                                          -fno-omit-frame-pointer)
  target_link_options(${target} PUBLIC -fsanitize=address,undefined)
endfunction()

# Links the C++ runtime and libgcc into a Windows binary, so that it imports
# only system DLLs.
function(saori_static_runtime target)
  if(MINGW)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()
