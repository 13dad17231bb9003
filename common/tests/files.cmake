# File and folder operations and the version helper (Wine, real files in
# private temporary folders).
if(WIN32 AND EXISTS ${CMAKE_SOURCE_DIR}/common/src/win/FileSystemHelper.cpp)
  add_executable(test_files ${CMAKE_CURRENT_LIST_DIR}/files/test_files.cpp
    ${CMAKE_CURRENT_LIST_DIR}/files/FilesTestKit.cpp)
  target_link_libraries(test_files PRIVATE ecg_common ecg_test_files GTest::gtest_main)
  ecg_add_test(test_files)

  # The same version tests in a program with a version resource and in one without.
  add_executable(test_version_res ${CMAKE_CURRENT_LIST_DIR}/files/test_version.cpp)
  target_link_libraries(test_version_res PRIVATE ecg_common GTest::gtest_main)
  target_compile_definitions(test_version_res PRIVATE ECG_EXPECT_MAJOR=1 ECG_EXPECT_MINOR=2)
  ecg_version_resource(test_version_res FILE_VERSION 1.2.3.4 DESCRIPTION "Проверка версии"
    ORIGINAL_FILENAME "test_version_res.exe")
  ecg_add_test(test_version_res LOCALES ru_RU.UTF-8 en_US.UTF-8)

  add_executable(test_version_bare ${CMAKE_CURRENT_LIST_DIR}/files/test_version.cpp)
  target_link_libraries(test_version_bare PRIVATE ecg_common GTest::gtest_main)
  target_compile_definitions(test_version_bare PRIVATE ECG_EXPECT_MAJOR=0 ECG_EXPECT_MINOR=0)
  ecg_add_test(test_version_bare LOCALES ru_RU.UTF-8 en_US.UTF-8)
endif()
