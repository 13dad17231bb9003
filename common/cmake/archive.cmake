# ZIP archives (minizip over zlib), regular expressions (PCRE2, 16-bit) and the
# logger for the archive, process, profile and encoding helpers.
if(WIN32)
  find_path(ECG_MINIZIP_INCLUDE_DIR minizip/zip.h REQUIRED)
  find_library(ECG_MINIZIP_LIBRARY NAMES minizip REQUIRED)
  find_path(ECG_PCRE2_INCLUDE_DIR pcre2.h REQUIRED)
  find_library(ECG_PCRE2_16_LIBRARY NAMES pcre2-16 REQUIRED)
  # The static zlib: shipped programs import system DLLs only.
  find_library(ECG_ZLIB_STATIC_LIBRARY NAMES libz.a REQUIRED)

  add_library(ecg_minizip INTERFACE)
  target_include_directories(ecg_minizip INTERFACE ${ECG_MINIZIP_INCLUDE_DIR})
  target_link_libraries(ecg_minizip INTERFACE ${ECG_MINIZIP_LIBRARY} ${ECG_ZLIB_STATIC_LIBRARY})

  target_include_directories(ecg_common PRIVATE ${ECG_PCRE2_INCLUDE_DIR})
  target_compile_definitions(ecg_common PRIVATE PCRE2_STATIC)
  target_link_libraries(ecg_common PUBLIC ecg_minizip ${ECG_PCRE2_16_LIBRARY})
  # The helpers log through the process-wide logger; a build tree without the
  # logging library gets a direct writer of the same line format instead.
  if(EXISTS ${CMAKE_SOURCE_DIR}/logging/include/logging/QorLogger.h)
    target_sources(ecg_common PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src/win/log/ArchiveLogQor.cpp)
    target_link_libraries(ecg_common PUBLIC ecg_logging)
  else()
    target_sources(ecg_common PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src/win/log/ArchiveLogDirect.cpp)
  endif()
endif()
