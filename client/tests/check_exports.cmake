# Compares the functions a shared library defines for the dynamic linker with a list.
#   cmake -DNM=nm -DLIBRARY=lib.so -DEXPECTED=list.txt -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(defined "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] +" "" name "${line}")
  list(APPEND defined "${name}")
endforeach()
list(SORT defined)
file(STRINGS ${EXPECTED} expected)
list(SORT expected)
if(NOT defined STREQUAL expected)
  message(FATAL_ERROR "exported:\n${defined}\nexpected:\n${expected}")
endif()
