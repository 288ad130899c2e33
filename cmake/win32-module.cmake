# QVLMRMON.DLL and QVSETUP.EXE, the two images a Windows 95 user runs: no C runtime, code
# for the i486, and what the Windows 95 loader takes. Frames of a page or more keep their
# stack probe (libgcc's ___chkstk_ms, linked in, no import): Windows commits a thread's stack
# one page at a time behind a single guard page.
enable_language(RC)
set(QVLMR_WIN95_COMPILE -Wall -Wextra -O2 -march=i486 -mtune=generic -mno-mmx -mno-sse -mfpmath=387
  -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-stack-protector -fno-threadsafe-statics
  -fno-tree-loop-distribute-patterns)
set(QVLMR_WIN95_LINK -nostdlib -nostartfiles -Wl,--subsystem,windows:4.0 -Wl,--major-os-version,4
  -Wl,--minor-os-version,0 -Wl,--disable-dynamicbase -Wl,--disable-nxcompat)

# QVLMRMON.DLL: the same core sources, no host code.
add_library(QVLMRMON SHARED ${QVLMR_CORE_SOURCES} ${CMAKE_SOURCE_DIR}/src/ui/qvlmrmon.rc
            ${CMAKE_SOURCE_DIR}/cmake/win32/qvlmrmon.def)
set_target_properties(QVLMRMON PROPERTIES PREFIX "" OUTPUT_NAME "QVLMRMON" SUFFIX ".DLL")
target_compile_options(QVLMRMON PRIVATE ${QVLMR_WIN95_COMPILE})
target_link_options(QVLMRMON PRIVATE ${QVLMR_WIN95_LINK} -Wl,-e,_DllEntryPoint@12 -Wl,--no-seh
  -Wl,--enable-stdcall-fixup)
target_link_libraries(QVLMRMON PRIVATE wsock32 winspool advapi32 user32 gdi32 kernel32 gcc)

# QVSETUP.EXE: copies the DLL to the system folder and registers the monitor (/U removes it).
file(GLOB QVLMR_SETUP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/setup/*.cpp)
add_executable(QVSETUP WIN32 ${QVLMR_SETUP_SOURCES} ${CMAKE_SOURCE_DIR}/setup/qvsetup.rc)
target_include_directories(QVSETUP PRIVATE ${CMAKE_SOURCE_DIR}/setup ${CMAKE_SOURCE_DIR}/src/monitor
                           ${CMAKE_SOURCE_DIR}/src/ui)
set_target_properties(QVSETUP PROPERTIES OUTPUT_NAME "QVSETUP" SUFFIX ".EXE")
target_compile_options(QVSETUP PRIVATE ${QVLMR_WIN95_COMPILE})
target_link_options(QVSETUP PRIVATE ${QVLMR_WIN95_LINK} -Wl,-e,_SetupEntry@0)
target_link_libraries(QVSETUP PRIVATE winspool advapi32 user32 kernel32 gcc)

# The smoke test under Wine (scripts/wine-smoke.sh); none of it is installed.
# QVSMOKE.EXE plays the spooler and its user; WINSPOOL.DRV and SPOOLSS.DLL stand in for the
# platform's spooler, loaded in place of Wine's own from the harness's folder.
set(QVLMR_SMOKE_DIR ${CMAKE_SOURCE_DIR}/tests/wine)
add_executable(QVSMOKE ${QVLMR_SMOKE_DIR}/smoke_harness.cpp ${QVLMR_SMOKE_DIR}/smoke_jobs.cpp
               ${QVLMR_SMOKE_DIR}/smoke_setup.cpp
               ${CMAKE_SOURCE_DIR}/tools/printer/test_printer.cpp
               ${CMAKE_SOURCE_DIR}/tests/support/table_print.cpp ${CMAKE_SOURCE_DIR}/tests/support/file_bytes.cpp
               ${CMAKE_SOURCE_DIR}/host/wininit/wininit_standin.cpp ${CMAKE_SOURCE_DIR}/host/wine-spooler/spooler_window.cpp
               ${QVLMR_SMOKE_DIR}/smoke_check.cpp)
set_target_properties(QVSMOKE PROPERTIES OUTPUT_NAME "QVSMOKE" SUFFIX ".EXE")
target_compile_options(QVSMOKE PRIVATE -Wall -Wextra -O2)
target_link_options(QVSMOKE PRIVATE -static)
target_link_libraries(QVSMOKE PRIVATE wsock32 advapi32 user32 kernel32)
set(QVLMR_STANDIN_DIR ${CMAKE_SOURCE_DIR}/host/wine-spooler)
add_library(QVSPOOLER SHARED ${QVLMR_STANDIN_DIR}/spooler_standin.cpp ${CMAKE_SOURCE_DIR}/host/spooler-rules/spooler_core.cpp
            ${QVLMR_STANDIN_DIR}/spooler_standin.def)
set_target_properties(QVSPOOLER PROPERTIES PREFIX "" OUTPUT_NAME "WINSPOOL" SUFFIX ".DRV")
add_library(QVSPOOLSS SHARED ${QVLMR_STANDIN_DIR}/spoolss_standin.cpp ${QVLMR_STANDIN_DIR}/spoolss_standin.def)
set_target_properties(QVSPOOLSS PROPERTIES PREFIX "" OUTPUT_NAME "SPOOLSS" SUFFIX ".DLL")
foreach(standIn QVSPOOLER QVSPOOLSS)
  target_compile_options(${standIn} PRIVATE -Wall -Wextra -O2)
  target_link_options(${standIn} PRIVATE -static -Wl,--enable-stdcall-fixup)
  target_link_libraries(${standIn} PRIVATE advapi32 kernel32)
endforeach()

install(TARGETS QVLMRMON QVSETUP RUNTIME DESTINATION . LIBRARY DESTINATION .)
# QVLMRMON.HLP, the setup dialog's pop-up help, written by tools/winhelp built for this
# machine (the build's own compiler makes Windows programs).
find_program(QVLMR_HOST_CXX NAMES c++ g++ REQUIRED)
set(QVLMR_HLP_WRITER ${CMAKE_BINARY_DIR}/host/qvlmr-hlp)
set(QVLMR_HLP ${CMAKE_BINARY_DIR}/QVLMRMON.HLP)
set(QVLMR_HLP_SOURCES ${CMAKE_SOURCE_DIR}/tools/winhelp/main.cpp ${CMAKE_SOURCE_DIR}/tools/winhelp/hlp_writer.cpp)
add_custom_command(OUTPUT ${QVLMR_HLP_WRITER}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
  COMMAND ${QVLMR_HOST_CXX} -O2 -std=c++17 -Wall -Wextra -I${CMAKE_SOURCE_DIR}/src/monitor -o ${QVLMR_HLP_WRITER}
          ${QVLMR_HLP_SOURCES}
  DEPENDS ${QVLMR_HLP_SOURCES} ${CMAKE_SOURCE_DIR}/tools/winhelp/hlp_writer.h)
add_custom_command(OUTPUT ${QVLMR_HLP}
  COMMAND ${QVLMR_HLP_WRITER} ${CMAKE_SOURCE_DIR}/src/ui/help-topics.txt ${CMAKE_SOURCE_DIR}/src/ui/resource.h
          ${QVLMR_HLP}
  DEPENDS ${QVLMR_HLP_WRITER} ${CMAKE_SOURCE_DIR}/src/ui/help-topics.txt ${CMAKE_SOURCE_DIR}/src/ui/resource.h)
add_custom_target(QVHELP ALL DEPENDS ${QVLMR_HLP})
install(FILES ${QVLMR_HLP} DESTINATION .)

# The texts of the kit in CRLF lines, as Notepad on Windows 95/98 shows them; every name 8.3.
foreach(text README.TXT SAMPLE.TXT TRACEON.REG TRACEOFF.REG)
  file(READ ${CMAKE_SOURCE_DIR}/docs/kit/${text} body)
  string(REPLACE "\n" "\r\n" body "${body}")
  string(REPLACE "@VERSION@" "${QVLMR_VERSION}" body "${body}")
  file(WRITE ${CMAKE_BINARY_DIR}/kit/${text} "${body}")
  install(FILES ${CMAKE_BINARY_DIR}/kit/${text} DESTINATION .)
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/kit/README.TXT
             ${CMAKE_SOURCE_DIR}/docs/kit/SAMPLE.TXT ${CMAKE_SOURCE_DIR}/docs/kit/TRACEON.REG
             ${CMAKE_SOURCE_DIR}/docs/kit/TRACEOFF.REG)
set(CPACK_GENERATOR ZIP)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/win32/disk-images.cmake)
set(CPACK_PACKAGE_NAME QVLMRMON)
set(CPACK_PACKAGE_VERSION ${QVLMR_VERSION})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
