# The publisher's key pair for the installer package's signature. A publisher passes its own key
# files; by default the build generates a pair of its own in the build folder (never committed).
# The updater compiles the public key in; the publishing step signs the package with the private key.
set(TW_UPDATE_PRIVATE_KEY "" CACHE FILEPATH "EC P-256 private key (PEM) that signs the published package")
set(TW_UPDATE_PUBLIC_KEY "" CACHE FILEPATH "EC P-256 public key (PEM) the updater verifies packages with")
set(TW_UPDATE_SIGNING ${PROJECT_SOURCE_DIR}/installer/update_signing.py)
find_program(TW_OPENSSL openssl REQUIRED)

if(NOT TW_UPDATE_PRIVATE_KEY STREQUAL "" AND TW_UPDATE_PUBLIC_KEY STREQUAL "" OR
   TW_UPDATE_PRIVATE_KEY STREQUAL "" AND NOT TW_UPDATE_PUBLIC_KEY STREQUAL "")
  message(FATAL_ERROR "TW_UPDATE_PRIVATE_KEY and TW_UPDATE_PUBLIC_KEY are passed together")
endif()
if(TW_UPDATE_PUBLIC_KEY)
  set(TW_UPDATE_PUBLIC_PEM ${TW_UPDATE_PUBLIC_KEY})
  set(TW_UPDATE_PRIVATE_PEM ${TW_UPDATE_PRIVATE_KEY})
else()
  set(TW_UPDATE_PRIVATE_PEM ${PROJECT_BINARY_DIR}/keys/update_private.pem)
  set(TW_UPDATE_PUBLIC_PEM ${PROJECT_BINARY_DIR}/keys/update_public.pem)
  add_custom_command(OUTPUT ${TW_UPDATE_PRIVATE_PEM} ${TW_UPDATE_PUBLIC_PEM}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/keys
    COMMAND python3 ${TW_UPDATE_SIGNING} genkey ${TW_UPDATE_PRIVATE_PEM} ${TW_UPDATE_PUBLIC_PEM}
    COMMENT "Generating the build's package-signing key pair"
    VERBATIM)
endif()

add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/generated/update_public_key.h
  COMMAND python3 ${TW_UPDATE_SIGNING} header ${TW_UPDATE_PUBLIC_PEM} ${PROJECT_BINARY_DIR}/generated/update_public_key.h
  DEPENDS ${TW_UPDATE_PUBLIC_PEM} ${TW_UPDATE_SIGNING}
  VERBATIM)
add_custom_target(tw_update_public_key DEPENDS ${PROJECT_BINARY_DIR}/generated/update_public_key.h)
