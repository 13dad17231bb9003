# Deployment steps 1 to 23 of the install run (the library Install.exe calls
# after its checks), and their platform-free rules.
add_library(ecg_installer_steps_portable STATIC ${CMAKE_CURRENT_LIST_DIR}/src/steps/portable/StepRules.cpp)
target_include_directories(ecg_installer_steps_portable PUBLIC ${CMAKE_CURRENT_LIST_DIR}/src/steps)
target_link_libraries(ecg_installer_steps_portable PUBLIC ecg_common_portable)

if(WIN32)
  add_library(ecg_installer_steps STATIC
    ${CMAKE_CURRENT_LIST_DIR}/src/steps/DriverSetup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/steps/FileList.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/steps/IniWriter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/steps/InstallSteps.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/steps/ReleaseInfo.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/steps/Shortcut.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/steps/StepsFs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/steps/XmlDoc.cpp)
  target_include_directories(ecg_installer_steps
    PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include
    PRIVATE ${CMAKE_CURRENT_LIST_DIR}/src/steps)
  target_link_libraries(ecg_installer_steps PUBLIC ecg_common ecg_installer_steps_portable
    ole32 oleaut32 uuid shell32 advapi32 user32 kernel32)
endif()
