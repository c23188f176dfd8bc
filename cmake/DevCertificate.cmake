# cmake -DDIR=... -P DevCertificate.cmake
# Makes, once, the development signing pair under DIR: a certificate authority (dev-ca.crt, its
# key dev-ca.key) and a code-signing certificate it issued (codesign.crt, codesign.key). Keys
# are owner-only; nothing here is ever committed or shipped.
if(EXISTS "${DIR}/codesign.crt" AND EXISTS "${DIR}/codesign.key" AND EXISTS "${DIR}/dev-ca.crt")
  return()
endif()
find_program(OPENSSL openssl REQUIRED)
file(MAKE_DIRECTORY "${DIR}")
file(WRITE "${DIR}/codesign.ext"
  "basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n"
  "subjectKeyIdentifier=hash\nauthorityKeyIdentifier=keyid\n")
function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${DIR}" RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "development certificate: ${ARGN}\n${err}")
  endif()
endfunction()
run("${OPENSSL}" req -x509 -newkey rsa:3072 -nodes -keyout dev-ca.key -out dev-ca.crt -days 3650 -sha256
    -subj "/CN=Kestrova SE Development CA" -addext "basicConstraints=critical,CA:TRUE"
    -addext "keyUsage=critical,keyCertSign,cRLSign")
run("${OPENSSL}" req -newkey rsa:3072 -nodes -keyout codesign.key -out codesign.csr -sha256
    -subj "/CN=Kestrova SE Development Code Signing")
run("${OPENSSL}" x509 -req -in codesign.csr -CA dev-ca.crt -CAkey dev-ca.key -CAcreateserial
    -out codesign.crt -days 1825 -sha256 -extfile codesign.ext)
file(CHMOD "${DIR}/dev-ca.key" "${DIR}/codesign.key" PERMISSIONS OWNER_READ OWNER_WRITE)
file(REMOVE "${DIR}/codesign.csr" "${DIR}/codesign.ext" "${DIR}/dev-ca.srl")
