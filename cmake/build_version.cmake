# Writes the header that names this build: its version and the commit it was built from (with a
# "+" when the working tree differs from it). Run at every build, it rewrites the header only
# when the text changed, so that nothing is rebuilt otherwise.
#   cmake -DSOURCE_DIR=dir -DVERSION=x.y.z -DOUTPUT=file.h -P build_version.cmake
execute_process(COMMAND git -C "${SOURCE_DIR}" rev-parse --short HEAD
                OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE failed ERROR_QUIET)
if(failed OR commit STREQUAL "")
  set(commit "unknown")
else()
  execute_process(COMMAND git -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
                  OUTPUT_VARIABLE changes ERROR_QUIET)
  if(NOT changes STREQUAL "")
    string(APPEND commit "+")
  endif()
endif()
set(text "// Made by cmake/build_version.cmake at build time.\n#pragma once\n\n")
string(APPEND text "#define TESMAR_BUILD_VERSION \"${VERSION}\"\n")
string(APPEND text "#define TESMAR_BUILD_COMMIT \"${commit}\"\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
