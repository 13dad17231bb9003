# Install.exe (main window, release-notes window, the install run's frame)
# and two variants for the tests: one without version information, one with
# a version of four digits and a complex name longer than the installer keeps.
add_library(ecg_installer_app_portable STATIC ${CMAKE_CURRENT_LIST_DIR}/src/app/portable/ReadmeText.cpp)
target_include_directories(ecg_installer_app_portable PUBLIC ${CMAKE_CURRENT_LIST_DIR}/src/app)

if(WIN32)
  set(install_app_sources
    ${CMAKE_CURRENT_LIST_DIR}/src/app/Main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/app/MainForm.cpp
    ${CMAKE_CURRENT_LIST_DIR}/src/app/ReadmeForm.cpp
    ${CMAKE_CURRENT_LIST_DIR}/res/Install.rc)
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/res/Install.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/res/logo.bmp;${CMAKE_CURRENT_LIST_DIR}/res/banner_std.bmp;${CMAKE_CURRENT_LIST_DIR}/res/banner_pc.bmp;${CMAKE_CURRENT_LIST_DIR}/res/info.rtf;${CMAKE_CURRENT_LIST_DIR}/res/Install.manifest")
  foreach(t Install Install_noversion Install_edge)
    add_executable(${t} WIN32 ${install_app_sources})
    target_compile_definitions(${t} PRIVATE UNICODE _UNICODE)
    target_include_directories(${t} PRIVATE ${CMAKE_CURRENT_LIST_DIR}/src/app ${CMAKE_CURRENT_LIST_DIR}/include
      ${CMAKE_CURRENT_LIST_DIR}/res)
    target_link_options(${t} PRIVATE -municode -mwindows)
    target_link_libraries(${t} PRIVATE ecg_installer_steps ecg_installer_app_portable ecg_common ecg_config ecg_logging
      comctl32 ole32 oleaut32 uuid shell32 gdi32 user32 kernel32)
  endforeach()
  set_target_properties(Install_noversion PROPERTIES OUTPUT_NAME Install_noversion)
  ecg_version_resource(Install FILE_VERSION ${ECG_INSTALL_FILE_VERSION}
    DESCRIPTION "Установка комплекса" ORIGINAL_FILENAME Install.exe)
  target_compile_definitions(Install_edge PRIVATE ECG_EDGE_RESOURCES)
  ecg_version_resource(Install_edge FILE_VERSION 12.1234.0.0
    DESCRIPTION "Установка комплекса" ORIGINAL_FILENAME Install.exe)
endif()
