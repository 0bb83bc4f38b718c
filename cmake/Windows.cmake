# The Windows deliverables, cross-compiled for i686 with MinGW-w64.
enable_language(RC)
enable_testing()

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
if(NOT MSVC)
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} --input-format=rc --output-format=coff -I${PROJECT_BINARY_DIR}/generated -I${PROJECT_SOURCE_DIR}")

include(${CMAKE_CURRENT_LIST_DIR}/CodeSign.cmake)

# Windows programs are built with the warnings as errors as well, and signed.
function(tw_program name)
  cmake_parse_arguments(P "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  target_compile_options(${name} PRIVATE ${TW_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(P_GUI)
    set_target_properties(${name} PROPERTIES WIN32_EXECUTABLE ON)
  endif()
  if(NOT MSVC)
    target_link_options(${name} PRIVATE -municode)
  endif()
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
  tw_codesign(${name})
endfunction()

# Adds VERSIONINFO to a program or library: tw_version_resource(target "Description" APP|DLL).
function(tw_version_resource target description kind)
  set(TW_RC_NAME ${target})
  set(TW_RC_DESCRIPTION ${description})
  if(kind STREQUAL "DLL")
    set(TW_RC_FILE "${target}.dll")
    set(TW_RC_FILETYPE "VFT_DLL")
  else()
    set(TW_RC_FILE "${target}.exe")
    set(TW_RC_FILETYPE "VFT_APP")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/common/win/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
endfunction()

# The program icon, drawn at build time.
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/generated/tarnwick.ico
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/generated
  COMMAND python3 ${PROJECT_SOURCE_DIR}/cmake/make_icon.py ${PROJECT_BINARY_DIR}/generated/tarnwick.ico
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/make_icon.py)
add_custom_target(tw_icon DEPENDS ${PROJECT_BINARY_DIR}/generated/tarnwick.ico)

include(${CMAKE_CURRENT_LIST_DIR}/UpdateKey.cmake)

set(TW_WIN_DIRS common/win library shell updater relay installer tests/wine)
foreach(dir IN LISTS TW_WIN_DIRS)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()

# The installation folder as the programs expect it: binaries beside "data".
add_custom_target(stage ALL
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/data ${PROJECT_BINARY_DIR}/bin/data
  COMMENT "Staging data next to the programs")

