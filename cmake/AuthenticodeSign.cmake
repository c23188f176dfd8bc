# cmake -DTOOL=osslsigncode -DCERT= -DKEY= [-DPASS=] -DFILE= -P AuthenticodeSign.cmake
# Signs FILE in place: written beside and renamed over, so a failure leaves no half-signed file.
set(pass)
if(PASS)
  set(pass -readpass "${PASS}")
endif()
set(temporary "${FILE}.signing")
file(REMOVE "${temporary}")
execute_process(
  COMMAND "${TOOL}" sign -certs "${CERT}" -key "${KEY}" ${pass} -h sha256 -n "Kestrova SE"
          -in "${FILE}" -out "${temporary}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  file(REMOVE "${temporary}")
  message(FATAL_ERROR "osslsigncode could not sign ${FILE}:\n${out}")
endif()
file(RENAME "${temporary}" "${FILE}")
