# Shared CMake helpers of the project.

set(ECG_WINE_ROOT ${CMAKE_BINARY_DIR}/wine CACHE PATH "Wine prefix, HOME, TMPDIR and COM links of this build tree")
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tools/wine/winerun.sh ${ECG_WINE_ROOT})
endif()

# Time-outs of the tests are multiplied by this (the i686 tests run in an
# emulated guest, several times slower than the twin on the host).
set(ECG_TEST_TIMEOUT_SCALE 1 CACHE STRING "Factor applied to every test time-out")

# ecg_add_test(<target> [LOCALES loc...] [EXCLUSIVE] [GUI] [TIMEOUT s] [ARGS ...] [LABELS ...])
#   One CTest test per locale for a test executable that holds many tests.
#   Windows executables run under Wine (CMAKE_CROSSCOMPILING_EMULATOR), once per
#   locale, with ECG_TEST_LANG set (default: Russian).  EXCLUSIVE takes the
#   lock for prefix-wide state (registry, COM registration, COM port links).
function(ecg_add_test target)
  cmake_parse_arguments(A "EXCLUSIVE;GUI" "TIMEOUT" "LOCALES;ARGS;LABELS" ${ARGN})
  if(NOT A_LOCALES)
    set(A_LOCALES ru_RU.UTF-8)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  math(EXPR A_TIMEOUT "${A_TIMEOUT} * ${ECG_TEST_TIMEOUT_SCALE}")
  list(LENGTH A_LOCALES nloc)
  foreach(loc IN LISTS A_LOCALES)
    if(nloc GREATER 1)
      string(REGEX REPLACE "\\..*" "" short ${loc})
      set(name ${target}.${short})
    else()
      set(name ${target})
    endif()
    add_test(NAME ${name} COMMAND ${target} ${A_ARGS})
    set(labels ${A_LABELS})
    if(WIN32)
      list(APPEND labels wine)
    else()
      list(APPEND labels native)
    endif()
    if(A_GUI)
      list(APPEND labels gui)
    endif()
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "ECG_TEST_LANG=${loc}"
      TIMEOUT ${A_TIMEOUT}
      LABELS "${labels}")
    if(A_EXCLUSIVE OR A_GUI)
      set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wineprefix)
    endif()
    # Wine writes the locale of each starting program into the prefix's user
    # settings, which every running program reads: a run under another locale
    # must have the prefix to itself, or Russian tests beside it see en-US
    # dates and separators (and it sees theirs).
    if(WIN32 AND NOT loc STREQUAL "ru_RU.UTF-8")
      set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
    endif()
  endforeach()
endfunction()

# ecg_version_resource(<target> FILE_VERSION a.b.c.d DESCRIPTION text
#                      ORIGINAL_FILENAME name [INTERNAL_NAME name] [PRODUCT_NAME text])
#   Compiles a VERSIONINFO resource into a Windows binary.
function(ecg_version_resource target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(A "" "FILE_VERSION;DESCRIPTION;ORIGINAL_FILENAME;INTERNAL_NAME;PRODUCT_NAME;COMMENTS" "" ${ARGN})
  if(NOT A_FILE_VERSION)
    set(A_FILE_VERSION ${ECG_PRODUCT_VERSION})
  endif()
  if(NOT A_INTERNAL_NAME)
    get_filename_component(A_INTERNAL_NAME ${A_ORIGINAL_FILENAME} NAME_WE)
  endif()
  if(NOT A_PRODUCT_NAME)
    set(A_PRODUCT_NAME "Комплекс анализа электрокардиограмм")
  endif()
  string(REPLACE "." "," VER_COMMAS ${A_FILE_VERSION})
  string(REPLACE "." "," PVER_COMMAS ${ECG_PRODUCT_VERSION})
  set(VER_TEXT ${A_FILE_VERSION})
  set(PVER_TEXT ${ECG_PRODUCT_VERSION})
  set(VER_DESCRIPTION ${A_DESCRIPTION})
  set(VER_ORIGINAL ${A_ORIGINAL_FILENAME})
  set(VER_INTERNAL ${A_INTERNAL_NAME})
  set(VER_PRODUCT ${A_PRODUCT_NAME})
  set(VER_COMMENTS "${A_COMMENTS}")
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${out} @ONLY)
  target_sources(${target} PRIVATE ${out})
endfunction()

# ecg_add_fuzzer(<name> SOURCES ... LIBS ... [RUNS n])
#   A libFuzzer target (native clang build only), plus a CTest run of n
#   iterations (default 20000) from an empty corpus so CI exercises it.
function(ecg_add_fuzzer name)
  if(WIN32 OR NOT ECG_FUZZ OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    return()
  endif()
  cmake_parse_arguments(A "" "RUNS" "SOURCES;LIBS" ${ARGN})
  if(NOT A_RUNS)
    set(A_RUNS 20000)
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_test(NAME ${name} COMMAND ${name} -runs=${A_RUNS} -seed=1 -max_len=4096)
  set_tests_properties(${name} PROPERTIES LABELS "native;fuzz" TIMEOUT 300)
endfunction()
