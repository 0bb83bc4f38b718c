# The publisher's key pair for the installer package's signature. A publisher passes its own key
# files; by default the build generates a pair of its own in the build folder (never committed).
# The updater compiles the public key in; the publishing step signs the package with the private key.
set(TW_UPDATE_PRIVATE_KEY "" CACHE FILEPATH "EC P-256 private key (PEM) that signs the published package")
set(TW_UPDATE_PUBLIC_KEY "" CACHE FILEPATH "EC P-256 public key (PEM) the updater verifies packages with")
set(TW_UPDATE_SIGNING ${CMAKE_CURRENT_LIST_DIR}/../installer/update_signing.py)
find_program(TW_OPENSSL openssl REQUIRED)

include(${CMAKE_CURRENT_LIST_DIR}/KeyOptions.cmake)
tw_passed_together(TW_UPDATE_PRIVATE_KEY TW_UPDATE_PUBLIC_KEY)
if(TW_UPDATE_PUBLIC_KEY)
  set(TW_UPDATE_PUBLIC_PEM ${TW_UPDATE_PUBLIC_KEY})
  set(TW_UPDATE_PRIVATE_PEM ${TW_UPDATE_PRIVATE_KEY})
else()
  # Made once, when the build folder is configured for the first time, and never overwritten:
  # every client built with the public key refuses packages signed with any other private key.
  # Not a build step, which would run again whenever its command changed.
  set(TW_UPDATE_PRIVATE_PEM ${PROJECT_BINARY_DIR}/keys/update_private.pem)
  set(TW_UPDATE_PUBLIC_PEM ${PROJECT_BINARY_DIR}/keys/update_public.pem)
  if(NOT EXISTS ${TW_UPDATE_PRIVATE_PEM})
    if(EXISTS ${TW_UPDATE_PUBLIC_PEM})
      message(FATAL_ERROR "${TW_UPDATE_PUBLIC_PEM} has no private key beside it: put "
              "${TW_UPDATE_PRIVATE_PEM} back, or remove both to make a new pair (clients built with "
              "the old public key then refuse every update)")
    endif()
    file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/keys)
    set(TW_UPDATE_KEY_STEP genkey ${TW_UPDATE_PRIVATE_PEM} ${TW_UPDATE_PUBLIC_PEM})
    message(STATUS "Generating the build's package-signing key pair in ${PROJECT_BINARY_DIR}/keys")
  elseif(NOT EXISTS ${TW_UPDATE_PUBLIC_PEM})
    set(TW_UPDATE_KEY_STEP pubkey ${TW_UPDATE_PRIVATE_PEM} ${TW_UPDATE_PUBLIC_PEM})
  endif()
  if(TW_UPDATE_KEY_STEP)
    execute_process(COMMAND python3 ${TW_UPDATE_SIGNING} ${TW_UPDATE_KEY_STEP} RESULT_VARIABLE made)
    if(NOT made EQUAL 0)
      message(FATAL_ERROR "Could not make ${TW_UPDATE_PUBLIC_PEM}")
    endif()
    unset(TW_UPDATE_KEY_STEP)
  endif()
  # A key file gone from the folder brings the configure step back, which makes it again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TW_UPDATE_PRIVATE_PEM} ${TW_UPDATE_PUBLIC_PEM})
endif()

add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/generated/update_public_key.h
  COMMAND python3 ${TW_UPDATE_SIGNING} header ${TW_UPDATE_PUBLIC_PEM} ${PROJECT_BINARY_DIR}/generated/update_public_key.h
  DEPENDS ${TW_UPDATE_PUBLIC_PEM} ${TW_UPDATE_SIGNING}
  VERBATIM)
add_custom_target(tw_update_public_key DEPENDS ${PROJECT_BINARY_DIR}/generated/update_public_key.h)
