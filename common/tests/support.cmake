# The test programs' file helpers (the folder clean-up beside them is built
# with the library itself, for the benchmarks too).
if(WIN32)
  add_library(ecg_test_files STATIC ${CMAKE_CURRENT_LIST_DIR}/support/TestFiles.cpp)
  target_link_libraries(ecg_test_files PUBLIC ecg_test_support GTest::gtest)
endif()
