# ostrel-client under Wine against the device simulator (a native program of
# <build>/host-tools) on COM4 of the test prefix, with OstrelCom.dll
# registered by regsvr32.  The COM link and the class registration are
# prefix-wide: the test takes the prefix lock.
if(TARGET OstrelCom AND EXISTS ${CMAKE_SOURCE_DIR}/tools/host/ostrelsim/CMakeLists.txt)
  add_executable(ostrel_client_e2e_tests tests/test_end_to_end.cpp tests/XmlCheck.h)
  target_include_directories(ostrel_client_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/common/include
                             ${CMAKE_SOURCE_DIR}/tools/host/ostrelsim)
  target_link_libraries(ostrel_client_e2e_tests PRIVATE GTest::gtest_main)
  add_dependencies(ostrel_client_e2e_tests ostrel_client OstrelCom hosttools)
  set(ostrelsim ${ECG_HOST_TOOLS_DIR}/ostrelsim/ostrelsim)
  # The fixture's clean-up test stops the simulator; --idle only ends one left
  # behind.  It must outlast the slowest run before the last test that needs it
  # (the i686 guest under load took over 20 minutes to get there).
  add_test(NAME ostrel_client_sim_start COMMAND ${ostrelsim} --root ${ECG_WINE_ROOT} --port 4 --daemon --idle 10800)
  add_test(NAME ostrel_client_sim_stop COMMAND ${ostrelsim} --stop --root ${ECG_WINE_ROOT} --port 4)
  set_tests_properties(ostrel_client_sim_start PROPERTIES FIXTURES_SETUP ostrel_client_sim RESOURCE_LOCK wineprefix LABELS wine)
  set_tests_properties(ostrel_client_sim_stop PROPERTIES FIXTURES_CLEANUP ostrel_client_sim LABELS wine)
  ecg_add_test(ostrel_client_e2e_tests EXCLUSIVE TIMEOUT 240)
  set_property(TEST ostrel_client_e2e_tests APPEND PROPERTY ENVIRONMENT
    "OSTREL_E2E_ROOT=${ECG_WINE_ROOT}" "OSTREL_E2E_SERVER=$<TARGET_FILE:OstrelCom>")
  set_tests_properties(ostrel_client_e2e_tests PROPERTIES FIXTURES_REQUIRED ostrel_client_sim)
endif()
