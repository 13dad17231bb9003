# Fails when the library exports a decorated name (FT_Close@4) or misses one
# of the undecorated D2XX names: programs bind them by plain name.
#   cmake -DOBJDUMP=... -DDLL=... -P check_exports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table.*" table "${out}")
if(table MATCHES "@[0-9]+")
  message(FATAL_ERROR "${DLL} exports decorated names:\n${table}")
endif()
foreach(fn FT_ListDevices FT_OpenEx FT_Close FT_Read FT_Write FT_ResetDevice FT_SetBaudRate
           FT_SetDataCharacteristics FT_SetFlowControl FT_ClrRts FT_ClrDtr FT_Purge FT_SetTimeouts)
  if(NOT table MATCHES "\\] ${fn}\n")
    message(FATAL_ERROR "${DLL} does not export ${fn}")
  endif()
endforeach()
