# Every target links grelvix_options: warnings, defines and sanitizers live here only.
add_library(grelvix_options INTERFACE)

if(MSVC)
  # Sources are UTF-8 (the Russian interface texts).
  target_compile_options(grelvix_options INTERFACE /W4 /utf-8 /permissive-)
  if(GRELVIX_WERROR)
    target_compile_options(grelvix_options INTERFACE /WX)
  endif()
else()
  target_compile_options(grelvix_options INTERFACE -Wall -Wextra -Wshadow)
  if(GRELVIX_WERROR)
    target_compile_options(grelvix_options INTERFACE -Werror)
  endif()
endif()

target_compile_definitions(grelvix_options INTERFACE
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_URL_CAST_FROM_STRING
  QT_MESSAGELOGCONTEXT)

if(GRELVIX_SANITIZE)
  target_compile_options(grelvix_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(grelvix_options INTERFACE -fsanitize=address,undefined)
endif()

if(GRELVIX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "GRELVIX_FUZZ needs clang (libFuzzer)")
  endif()
  # Coverage instrumentation for the code under fuzz; only fuzz targets link the fuzzer driver.
  target_compile_options(grelvix_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

# Adds a libFuzzer target; a no-op unless GRELVIX_FUZZ is on.
function(grelvix_add_fuzzer name)
  if(NOT GRELVIX_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} grelvix_options)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY GRELVIX_FUZZERS ${name})
endfunction()
