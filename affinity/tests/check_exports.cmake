# Run as: cmake -DNM=<nm> -DLIBRARY=<libCpumask.so> -P check_exports.cmake
# Fails unless the library exports exactly these Affin functions and no other Affin symbol.
set(expected
  AffinConstructProcesses AffinDestructProcesses AffinFindProcessByName
  AffinGetActiveProcessAffinity AffinGetFirstProcess AffinGetLastError AffinGetNextProcess
  AffinGetNextProcessByName AffinGetPriorityBoost AffinGetProcId AffinGetProcName
  AffinGetProcessAffinity AffinGetProcessCount AffinGetProcessPriority AffinGetSystemAffinity
  AffinGetThreadAffinity AffinGetThreadCount AffinGetThreadHandle AffinGetThreadPriority
  AffinSetActiveProcessAffinity AffinSetPriorityBoost AffinSetProcessAffinity
  AffinSetProcessPriority AffinSetThreadAffinity AffinSetThreadIdealProcessor
  AffinSetThreadPriority)
list(LENGTH expected expected_count)
if(NOT expected_count EQUAL 26)
  message(FATAL_ERROR "the list holds ${expected_count} names, not 26")
endif()

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_result)
if(NOT nm_result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(exported)
foreach(line IN LISTS lines)
  # "<address> <type> <name>"; the type letter T marks a function in the text section.
  if(line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) (.*Affin.*)$")
    if(NOT CMAKE_MATCH_1 STREQUAL "T")
      message(FATAL_ERROR "${CMAKE_MATCH_2} is exported but is not a function")
    endif()
    list(APPEND exported ${CMAKE_MATCH_2})
  endif()
endforeach()
list(SORT exported)
list(SORT expected)
if(NOT exported STREQUAL expected)
  set(missing ${expected})
  list(REMOVE_ITEM missing ${exported})
  set(extra ${exported})
  list(REMOVE_ITEM extra ${expected})
  message(FATAL_ERROR "exported Affin symbols differ; missing: ${missing}; unexpected: ${extra}")
endif()
message(STATUS "the 26 Affin functions are exported and nothing else named Affin")
