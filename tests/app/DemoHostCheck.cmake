# Runs kestrava-demo with hosts it must refuse: exit 2 and the form expected
# on standard error for each.
foreach(host "https://localhost:8443" "localhost:8443/" "localhost:99999")
  execute_process(COMMAND ${PROGRAM} --host ${host} RESULT_VARIABLE code ERROR_VARIABLE err
                  TIMEOUT 30)
  if(NOT code EQUAL 2)
    message(FATAL_ERROR "kestrava-demo --host ${host} exits ${code}, not 2: ${err}")
  endif()
  string(FIND "${err}" "option --host needs HOST[:PORT]: a host name, an IPv4 address or a bracketed IPv6 address, and a port from 1 to 65535, not \"${host}\"" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "kestrava-demo --host ${host} does not show the form expected: ${err}")
  endif()
endforeach()
