# The publisher's Authenticode signature on the four programs and the installer package, made with
# osslsigncode. A publisher passes its own certificate and key; by default the build makes a
# self-signed demo certificate (code-signing use) once in its own folder, <build>/codesign
# (never committed, never replaced while it is there). A signature without a timestamp stops
# verifying when the certificate expires: a publisher names an RFC 3161 timestamp server with
# TW_CODESIGN_TIMESTAMP_URL, and every signature then carries its countersigned time. Without it
# nothing is timestamped and signing needs no network.
#
#   tw_codesign(<target>)   signs the target's file in place after each link
#   TW_CODESIGN_COMMAND     the command that signs a file: append "-in <file> -out <signed file>"
set(TW_CODESIGN_CERT "" CACHE FILEPATH
    "Code-signing certificate (PEM; any intermediate certificates after it) that signs the programs and the package")
set(TW_CODESIGN_KEY "" CACHE FILEPATH "The code-signing certificate's private key (PEM)")
set(TW_CODESIGN_PASSWORD_FILE "" CACHE FILEPATH "A file holding the private key's password, if it has one")
set(TW_CODESIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 timestamp server for the programs' and the package's signatures (none: no timestamp)")
find_program(TW_OSSLSIGNCODE osslsigncode REQUIRED)
find_program(TW_OPENSSL openssl REQUIRED)

include(${CMAKE_CURRENT_LIST_DIR}/KeyOptions.cmake)
tw_passed_together(TW_CODESIGN_CERT TW_CODESIGN_KEY)
if(TW_CODESIGN_CERT)
  set(TW_CODESIGN_CERT_PEM ${TW_CODESIGN_CERT})
  set(TW_CODESIGN_KEY_PEM ${TW_CODESIGN_KEY})
else()
  set(TW_CODESIGN_CERT_PEM ${PROJECT_BINARY_DIR}/codesign/demo_cert.pem)
  set(TW_CODESIGN_KEY_PEM ${PROJECT_BINARY_DIR}/codesign/demo_key.pem)
  # Made at configure time, not as a build output, so that no build step (a clean included) can
  # remove or replace a pair the programs were signed with.
  if(NOT EXISTS ${TW_CODESIGN_CERT_PEM} AND NOT EXISTS ${TW_CODESIGN_KEY_PEM})
    message(STATUS "Making the build's demo code-signing certificate in ${PROJECT_BINARY_DIR}/codesign")
    file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/codesign)
    # Written under other names first: an interrupted run leaves no half of a pair behind.
    execute_process(
      COMMAND ${TW_OPENSSL} req -x509 -newkey rsa:3072 -nodes -days 3650
              -subj "/CN=Tarnwick demo publisher"
              -addext "keyUsage=critical,digitalSignature"
              -addext "extendedKeyUsage=codeSigning"
              -keyout ${TW_CODESIGN_KEY_PEM}.new -out ${TW_CODESIGN_CERT_PEM}.new
      RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "openssl could not make the demo code-signing certificate: ${err}")
    endif()
    file(RENAME ${TW_CODESIGN_KEY_PEM}.new ${TW_CODESIGN_KEY_PEM})
    file(RENAME ${TW_CODESIGN_CERT_PEM}.new ${TW_CODESIGN_CERT_PEM})
  elseif(NOT EXISTS ${TW_CODESIGN_CERT_PEM} OR NOT EXISTS ${TW_CODESIGN_KEY_PEM})
    message(FATAL_ERROR "${PROJECT_BINARY_DIR}/codesign holds only half of the demo code-signing pair: "
                        "remove the folder to make a new one (the old signatures then no longer match it)")
  endif()
endif()

set(TW_CODESIGN_COMMAND ${TW_OSSLSIGNCODE} sign -certs ${TW_CODESIGN_CERT_PEM} -key ${TW_CODESIGN_KEY_PEM})
if(TW_CODESIGN_PASSWORD_FILE)
  list(APPEND TW_CODESIGN_COMMAND -readpass ${TW_CODESIGN_PASSWORD_FILE})
endif()
list(APPEND TW_CODESIGN_COMMAND -h sha256 -n Tarnwick)
if(TW_CODESIGN_TIMESTAMP_URL)
  list(APPEND TW_CODESIGN_COMMAND -ts ${TW_CODESIGN_TIMESTAMP_URL})
endif()
set(TW_CODESIGN_INPUTS ${TW_CODESIGN_CERT_PEM} ${TW_CODESIGN_KEY_PEM})

# The signature is added right after the link, in the same build step: a file is signed again only
# when it is linked again, and the linker always writes it afresh, unsigned. (Signing a file that
# is already signed replaces its signature, it does not nest a second one.) A changed certificate
# or key links the target again.
function(tw_codesign target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${TW_CODESIGN_COMMAND} -in $<TARGET_FILE:${target}> -out $<TARGET_FILE:${target}>.signed
    COMMAND ${CMAKE_COMMAND} -E rename $<TARGET_FILE:${target}>.signed $<TARGET_FILE:${target}>
    COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${TW_CODESIGN_INPUTS})
endfunction()
