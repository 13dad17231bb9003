# cmake -DGEN=sampledist -DOUT=dir -P check_tree.cmake
file(WRITE ${OUT}-input/Install.exe "sample installer\n")
file(WRITE ${OUT}-input/setup.exe "sample setup\n")
execute_process(COMMAND ${GEN} --out ${OUT} --install ${OUT}-input/Install.exe
                        --driver-setup ${OUT}-input/setup.exe --files 10 --release-kb 40 --db-kb 300
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "sampledist failed: ${rc}")
endif()
set(required
  Install.exe readme.htm Profile/Standard/DATA.XML FTDIDriverInstall/CDM21228_Setup.exe
  Settings/Settings.xml backup/R391/filelist.xml backup/R392/filelist.xml backup/R393/filelist.xml
  backup/R393/ReleaseInfo backup/R393/lib/pack00/module0009.bin
  Firebird_257/aliases.conf Firebird_257/firebird.conf Firebird_257/fbclient.Dll Firebird_257/fbembed.Dll
  Firebird_257/ib_util.Dll Firebird_257/icudt30.Dll Firebird_257/icuin30.Dll Firebird_257/icuuc30.Dll
  Firebird_257/firebird.msg Firebird_257/gbak.exe Firebird_257/msvcp80.Dll Firebird_257/msvcr80.Dll
  Firebird_257/intl/fbintl.conf Firebird_257/intl/fbintl.dll
  Firebird_257/udf/fbudf.dll Firebird_257/udf/ib_udf.dll Firebird_257/udf/fbudf.sql
  Firebird_257/udf/ib_udf.sql Firebird_257/udf/ib_udf2.sql
  UDF/Kelvar.Dll UDF/Trimsa.Dll UDF/Holmex.Dll UDF/Dravin.Dll
  service/obsolete-tool.dll dta_clear/Q12.fdb dta_clear/ecg.ini bin/password.nsi
  config/Integration/rmis.xml)
foreach(f IN LISTS required)
  if(NOT EXISTS ${OUT}/${f})
    message(FATAL_ERROR "missing in the sample distribution: ${f}")
  endif()
endforeach()
file(SIZE ${OUT}/dta_clear/Q12.fdb dbsize)
if(NOT dbsize EQUAL 307200)
  message(FATAL_ERROR "template database has ${dbsize} bytes, expected 307200")
endif()
file(READ ${OUT}/backup/R393/filelist.xml list)
string(FIND "${list}" "<filelist>" pos)
if(NOT pos EQUAL 0)
  message(FATAL_ERROR "filelist.xml must start with its root element")
endif()
foreach(s "<delfiles>" "Reports\\Forms\\Rest\\rest.frx" "service\\obsolete-tool.dll")
  string(FIND "${list}" "${s}" pos)
  if(pos LESS 0)
    message(FATAL_ERROR "filelist.xml lacks ${s}")
  endif()
endforeach()
file(READ ${OUT}/readme.htm page)
string(FIND "${page}" "Комплекс анализа электрокардиограмм" pos)
if(pos LESS 0)
  message(FATAL_ERROR "readme.htm lacks its Russian title")
endif()
# A second run replaces the folder; a foreign non-empty folder is refused.
execute_process(COMMAND ${GEN} --out ${OUT} --omit FTDIDriverInstall --files 1 RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR EXISTS ${OUT}/FTDIDriverInstall)
  message(FATAL_ERROR "regenerating without FTDIDriverInstall failed")
endif()
execute_process(COMMAND ${GEN} --out ${OUT}-input RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
if(rc EQUAL 0)
  message(FATAL_ERROR "sampledist overwrote a folder it did not write")
endif()
message(STATUS "sample distribution complete")
