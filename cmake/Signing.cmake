# Authenticode signatures of the shipped files (osslsigncode, SHA-256).
#
# The release build is given the maker's certificate and key:
#   make build CODESIGN_CERT=/path/cert.pem CODESIGN_KEY=/path/key.pem [CODESIGN_PASS=/path/passfile]
# Without them the build makes a development pair once under $(BUILD)/signing/: a certificate
# authority (dev-ca.crt) and a code-signing certificate issued by it (codesign.crt, .key). Those
# stay in the build folder; `osslsigncode verify -CAfile $(BUILD)/signing/dev-ca.crt -in FILE`
# checks a file against them.
set(KV_CODESIGN_CERT "" CACHE FILEPATH "Code-signing certificate (PEM); empty: the development one")
set(KV_CODESIGN_KEY "" CACHE FILEPATH "Its private key (PEM)")
set(KV_CODESIGN_PASS "" CACHE FILEPATH "A file holding the key's pass phrase, when it has one")

find_program(KV_OSSLSIGNCODE osslsigncode)
if(NOT KV_OSSLSIGNCODE)
  message(FATAL_ERROR "osslsigncode not found: run scripts/deps.sh")
endif()

set(KV_SIGNING_DIR "${KV_BUILD_ROOT}/signing")
if(KV_CODESIGN_CERT)
  if(NOT KV_CODESIGN_KEY)
    message(FATAL_ERROR "KV_CODESIGN_CERT needs KV_CODESIGN_KEY")
  endif()
  set(KV_SIGN_CERT "${KV_CODESIGN_CERT}")
  set(KV_SIGN_KEY "${KV_CODESIGN_KEY}")
  add_custom_target(kv_codesign_cert)
else()
  set(KV_SIGN_CERT "${KV_SIGNING_DIR}/codesign.crt")
  set(KV_SIGN_KEY "${KV_SIGNING_DIR}/codesign.key")
  add_custom_target(kv_codesign_cert
    COMMAND "${CMAKE_COMMAND}" "-DDIR=${KV_SIGNING_DIR}" -P "${CMAKE_SOURCE_DIR}/cmake/DevCertificate.cmake"
    BYPRODUCTS "${KV_SIGN_CERT}" "${KV_SIGN_KEY}"
    COMMENT "development code-signing certificate"
    VERBATIM)
endif()

# The command that signs FILE in place; appended to custom commands that make a shipped file.
set(KV_AUTHENTICODE_SCRIPT "${CMAKE_SOURCE_DIR}/cmake/AuthenticodeSign.cmake")
function(kv_authenticode_command out file)
  set(${out}
    COMMAND "${CMAKE_COMMAND}" "-DTOOL=${KV_OSSLSIGNCODE}" "-DCERT=${KV_SIGN_CERT}" "-DKEY=${KV_SIGN_KEY}"
            "-DPASS=${KV_CODESIGN_PASS}" "-DFILE=${file}" -P "${KV_AUTHENTICODE_SCRIPT}"
    PARENT_SCOPE)
endfunction()

function(kv_authenticode_post_build target)
  add_dependencies(${target} kv_codesign_cert)
  kv_authenticode_command(sign "$<TARGET_FILE:${target}>")
  add_custom_command(TARGET ${target} POST_BUILD ${sign}
    COMMENT "Authenticode: sign $<TARGET_FILE_NAME:${target}>"
    VERBATIM)
endfunction()
