# Archive, process and profile helpers: platform-free name and path rules
# (native and Wine), the Windows class methods (Wine), entry-name fuzzer (native).
add_executable(test_archive_portable ${CMAKE_CURRENT_LIST_DIR}/archive/test_archive_portable.cpp)
target_link_libraries(test_archive_portable PRIVATE ecg_common_portable GTest::gtest_main)
ecg_add_test(test_archive_portable)

ecg_add_fuzzer(fuzz_zip_entry_name SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive/fuzz_zip_entry_name.cpp
  LIBS ecg_common_portable)

# The Windows group needs the file operations it builds on (CheckFileFolderExists).
if(WIN32 AND EXISTS ${CMAKE_SOURCE_DIR}/common/src/win/FileSystemHelper.cpp)
  # A program that ends at once, started by the process-waiting tests.
  add_executable(archive_quick_exit WIN32 ${CMAKE_CURRENT_LIST_DIR}/archive/quick_exit.cpp)
  target_link_options(archive_quick_exit PRIVATE -municode)

  add_executable(test_archive ${CMAKE_CURRENT_LIST_DIR}/archive/test_archive.cpp
    ${CMAKE_CURRENT_LIST_DIR}/archive/IsolatedTestMain.cpp)
  target_link_libraries(test_archive PRIVATE ecg_common ecg_test_files GTest::gtest)
  target_link_options(test_archive PRIVATE -municode)
  target_compile_definitions(test_archive PRIVATE
    ECG_QUICK_EXIT_EXE="$<TARGET_FILE_NAME:archive_quick_exit>")
  add_dependencies(test_archive archive_quick_exit)
  ecg_add_test(test_archive LOCALES ru_RU.UTF-8 en_US.UTF-8)
endif()
