# Encoding helpers: platform-free Base64 and text-line rules (native and
# Wine), the Windows class methods (Wine), the Base64 decoder fuzzer (native).
add_executable(test_encdec_portable ${CMAKE_CURRENT_LIST_DIR}/encdec/test_encdec_portable.cpp)
target_link_libraries(test_encdec_portable PRIVATE ecg_common_portable GTest::gtest_main)
ecg_add_test(test_encdec_portable)

ecg_add_fuzzer(fuzz_base64_decode SOURCES ${CMAKE_CURRENT_LIST_DIR}/encdec/fuzz_base64_decode.cpp
  LIBS ecg_common_portable)

if(WIN32)
  add_executable(test_encdec ${CMAKE_CURRENT_LIST_DIR}/encdec/test_encdec.cpp
    ${CMAKE_CURRENT_LIST_DIR}/archive/IsolatedTestMain.cpp)
  target_link_libraries(test_encdec PRIVATE ecg_common ecg_test_support GTest::gtest)
  target_link_options(test_encdec PRIVATE -municode)
  ecg_add_test(test_encdec LOCALES ru_RU.UTF-8 en_US.UTF-8)
endif()
