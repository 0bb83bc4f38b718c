# Options that name a publisher's key files come in pairs: both given, or neither (the build then
# makes its own).
include_guard(GLOBAL)

function(tw_passed_together a b)
  if(NOT ${a} STREQUAL "" AND ${b} STREQUAL "" OR ${a} STREQUAL "" AND NOT ${b} STREQUAL "")
    message(FATAL_ERROR "${a} and ${b} are passed together")
  endif()
endfunction()
