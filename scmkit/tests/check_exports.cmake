# Run as: cmake -DNM=<nm> -DLIBRARY=<libScmkit.so> -P check_exports.cmake
# Fails unless the library's exported functions are exactly its eight SerSetup functions.
set(expected
  SerSetupClose SerSetupCmd SerSetupOpen SerSetupServiceClose SerSetupServiceControl
  SerSetupServiceInstall SerSetupServiceOpen SerSetupServiceRemove)

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_result)
if(NOT nm_result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(exported)
foreach(line IN LISTS lines)
  # "<address> <type> <name>"; T and W mark functions, whatever their name.
  if(line MATCHES "^[0-9a-fA-F]+ [TW] (.*)$")
    list(APPEND exported ${CMAKE_MATCH_1})
  endif()
endforeach()
list(SORT exported)
list(SORT expected)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exported functions differ: ${exported}")
endif()
