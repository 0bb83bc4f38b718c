# Build-wide settings shared by the native core build and the Windows build.

# Product version: data/system/verinfo.dat is the one place. Its last line is the whole
# number the updater compares (110); VERSIONINFO, Label1 and the installer read 1.10 from it.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../data/system/verinfo.dat _tw_ver_lines)
list(GET _tw_ver_lines -1 TW_VERSION_NUMBER)
string(STRIP "${TW_VERSION_NUMBER}" TW_VERSION_NUMBER)
if(NOT TW_VERSION_NUMBER MATCHES "^[0-9]+$")
  message(FATAL_ERROR "data/system/verinfo.dat must end with a whole version number")
endif()
math(EXPR TW_VERSION_MAJOR "${TW_VERSION_NUMBER} / 100")
math(EXPR TW_VERSION_MINOR "${TW_VERSION_NUMBER} % 100")
set(TW_VERSION_MINOR_TEXT ${TW_VERSION_MINOR})
if(TW_VERSION_MINOR LESS 10)
  set(TW_VERSION_MINOR_TEXT "0${TW_VERSION_MINOR}")
endif()

# Addresses. The demo portal and the tests serve on loopback.
set(TW_PORTAL_PORT 18473 CACHE STRING "Port of the demo portal on 127.0.0.1")
# Each follows the port unless given on the command line (-DTW_PORTAL_BASE=...).
if(NOT DEFINED TW_PORTAL_BASE)
  set(TW_PORTAL_BASE "http://127.0.0.1:${TW_PORTAL_PORT}")
endif()
if(NOT DEFINED TW_HOME_URL)
  set(TW_HOME_URL "${TW_PORTAL_BASE}/home.htm")
endif()
if(NOT DEFINED TW_FORUM_URL)
  set(TW_FORUM_URL "${TW_PORTAL_BASE}/forum.htm")
endif()

if(MSVC)
  set(TW_WARNINGS /W4 /WX)
else()
  set(TW_WARNINGS -Wall -Wextra -Werror)
  # GCC 12 reports false -Wrestrict overlaps inside std::string concatenation once inlining is on.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    list(APPEND TW_WARNINGS -Wno-restrict)
  endif()
endif()
if(MSVC)
  add_compile_options(/utf-8)
endif()
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "" FORCE)

option(TW_SANITIZE "Build the native core and its tests with ASan and UBSan" OFF)
if(TW_SANITIZE AND NOT CMAKE_SYSTEM_NAME STREQUAL "Windows")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

configure_file(${CMAKE_CURRENT_LIST_DIR}/build_config.h.in ${PROJECT_BINARY_DIR}/generated/build_config.h @ONLY)
include_directories(${PROJECT_BINARY_DIR}/generated)
