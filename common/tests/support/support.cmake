# What the Windows tests and benchmarks of every library share (folder clean-up).
if(WIN32)
  add_library(ecg_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/TestTree.cpp)
  target_include_directories(ecg_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(ecg_test_support PUBLIC ecg_common)
endif()
