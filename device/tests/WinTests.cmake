# Windows tests: the real D2XX binding against the replacement FTD2XX.DLL
# copied beside the test program, and a program without the library.
if(EXISTS ${CMAKE_SOURCE_DIR}/tools/ftd2xx-sim/CMakeLists.txt)
  add_executable(device_win_tests test_win_usb.cpp WinHost.h)
  target_link_libraries(device_win_tests PRIVATE ecg_device GTest::gtest_main)
  add_dependencies(device_win_tests ftd2xx_sim)
  add_custom_command(TARGET device_win_tests POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:ftd2xx_sim> $<TARGET_FILE_DIR:device_win_tests>)
  ecg_add_test(device_win_tests)
endif()

add_executable(device_nodll_tests test_win_nodll.cpp WinHost.h)
set_target_properties(device_nodll_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/nodll)
target_link_libraries(device_nodll_tests PRIVATE ecg_device GTest::gtest_main)
ecg_add_test(device_nodll_tests)
# The current folder is on the library search path: run where no FTD2XX.DLL lies.
set_tests_properties(device_nodll_tests PROPERTIES WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/nodll)

# The configuration manager's cardiomodule methods (the same replacement
# library, which device_win_tests copies into this folder).
if(TARGET ecg_config AND EXISTS ${CMAKE_SOURCE_DIR}/tools/ftd2xx-sim/CMakeLists.txt)
  add_executable(device_config_tests test_win_config.cpp)
  target_link_libraries(device_config_tests PRIVATE ecg_device ecg_config ecg_test_files GTest::gtest_main)
  add_dependencies(device_config_tests ftd2xx_sim)
  add_custom_command(TARGET device_config_tests POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:ftd2xx_sim> $<TARGET_FILE_DIR:device_config_tests>)
  ecg_add_test(device_config_tests)
endif()

# Serial-port queries against the cardiomodule simulator (a native program
# built into <build>/host-tools) on a pseudo-terminal behind COM3 of the
# test prefix.  The COM link is prefix-wide: the test takes the lock.
if(TARGET ecg_config AND EXISTS ${CMAKE_SOURCE_DIR}/tools/host/cardiosim/CMakeLists.txt)
  add_executable(device_stm_tests test_win_stm.cpp)
  target_link_libraries(device_stm_tests PRIVATE ecg_device ecg_config GTest::gtest_main)
  add_dependencies(device_stm_tests hosttools)
  set(cardiosim ${CMAKE_BINARY_DIR}/host-tools/cardiosim/cardiosim)
  set(cardiosim_link ${ECG_WINE_ROOT}/ports/COM3)
  string(REPLACE "/" "\\" cardiosim_winfiles "Z:${ECG_WINE_ROOT}/ports/cardiosim-COM3")
  # The fixture's clean-up test stops the simulator; --idle only ends one left
  # behind.  It must outlast the slowest run before the last test that needs it
  # (the i686 guest under load took over 20 minutes to get there).
  add_test(NAME device_cardiosim_start COMMAND ${cardiosim} --link ${cardiosim_link} --daemon --idle 10800)
  add_test(NAME device_cardiosim_stop COMMAND ${cardiosim} --stop --link ${cardiosim_link})
  set_tests_properties(device_cardiosim_start PROPERTIES FIXTURES_SETUP cardiosim RESOURCE_LOCK wineprefix LABELS wine)
  set_tests_properties(device_cardiosim_stop PROPERTIES FIXTURES_CLEANUP cardiosim LABELS wine)
  ecg_add_test(device_stm_tests EXCLUSIVE)
  set_property(TEST device_stm_tests APPEND PROPERTY ENVIRONMENT "ECG_CARDIOSIM_FILES=${cardiosim_winfiles}")
  set_tests_properties(device_stm_tests PROPERTIES FIXTURES_REQUIRED cardiosim)
endif()
