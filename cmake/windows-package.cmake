# `make package-windows`: the Windows installer, built by CPack's NSIS generator (Debian's makensis) from
# what `cmake --install` puts in one folder: the programs and the help side by side, as the programs look
# for it, and the examples below them.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/windows/ DESTINATION examples OPTIONAL)

set(CPACK_GENERATOR NSIS)
# The NSIS lines below reach the installer script exactly as written here.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME KX6000Download)
set(CPACK_PACKAGE_VENDOR ${KX6000_COMPANY})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download component for KX6100 and KX6200 mobile radios")
set(CPACK_PACKAGE_FILE_NAME KX6000Download-${PROJECT_VERSION}-win32)
set(CPACK_PACKAGE_INSTALL_DIRECTORY ${KX6000_PRODUCT})
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "KX6000 Download")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/packaging/copyright)
set(CPACK_STRIP_FILES ON)
# The programs are 32-bit: on 64-bit Windows they belong in "Program Files (x86)".
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES32")
set(CPACK_NSIS_INSTALLED_ICON_NAME KX6000Download.exe)
set(CPACK_NSIS_MENU_LINKS KX6000Download.exe "KX6000 Download" kx6kd_en.chm "KX6000 Download Help")
# A new version replaces the one installed, whose uninstaller then runs silently first.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# A program of the install folder that runs cannot be replaced or removed, and its registration must not go while
# it serves a caller: Windows refuses to open a running program's file for writing, which is how one is found.
# Asked interactively (Retry once it is closed); a silent run ends with status 2, nothing changed.
set(CPACK_NSIS_DEFINES [[
!macro KX6000_IF_RUNNING PROGRAM LABEL
  IfFileExists "${PROGRAM}" 0 +5
    ClearErrors
    FileOpen $R9 "${PROGRAM}" a
    IfErrors ${LABEL}
    FileClose $R9
!macroend
!macro KX6000_PROGRAMS_CLOSED FOLDER UNCHANGED
  kx6000_programs:
    !insertmacro KX6000_IF_RUNNING "${FOLDER}\KX6000Download.exe" kx6000_running
    !insertmacro KX6000_IF_RUNNING "${FOLDER}\kx6000-download.exe" kx6000_running
    Goto kx6000_closed
  kx6000_running:
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "KX6000 Download is running from ${FOLDER}: its window, a download at the command line, or its automation server for a calling program.$\n$\nClose them and choose Retry, or choose Cancel: ${UNCHANGED}." \
      /SD IDCANCEL IDRETRY kx6000_programs
    SetErrorLevel 2
    Abort "KX6000 Download is running from ${FOLDER}: ${UNCHANGED}."
  kx6000_closed:
!macroend
]])
# A new version first runs the installed version's uninstaller silently, from CPack's own installer script: the
# question comes before that, in a copy of the script with one line added.
set(nsis_template ${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in)
file(READ ${nsis_template} template)
set(old_uninstall [[  ExecWait '"$0" /S _?=$3']])
string(REPLACE "${old_uninstall}"
       "  !insertmacro KX6000_PROGRAMS_CLOSED $3 \"the installed version stays as it is\"\n${old_uninstall}"
       checked "${template}")
if(checked STREQUAL template)
  message(FATAL_ERROR "${nsis_template} no longer runs the old uninstaller as this project expects")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/nsis/NSIS.template.in "${checked}")
set(CPACK_MODULE_PATH ${CMAKE_BINARY_DIR}/nsis)
# The server's registration, made once its files are in place; a server that cannot register fails the
# installation, since no caller could create it. It is removed while the program is still there to do it.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [[
  ExecWait '"$INSTDIR\KX6000Download.exe" /RegServer /s' $0
  StrCmp $0 0 +3
    MessageBox MB_OK|MB_ICONSTOP \
      "KX6000Download.exe /RegServer failed ($0): the automation server is not registered." /SD IDOK
    Abort "The automation server is not registered."
]])
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [[
  !insertmacro KX6000_PROGRAMS_CLOSED $INSTDIR "nothing is removed"
  ExecWait '"$INSTDIR\KX6000Download.exe" /UnregServer /s'
]])
# The uninstaller deletes its key below the vendor's, but not the vendor's key itself: this runs after that.
set(CPACK_NSIS_DELETE_ICONS_EXTRA [[
  DeleteRegKey /ifempty SHCTX "Software\KX6000 Download maintainers"
]])
# The installer's own version resource, as the programs carry theirs.
string(APPEND CPACK_NSIS_DEFINES "
VIProductVersion ${PROJECT_VERSION}.0
VIFileVersion ${PROJECT_VERSION}.0
VIAddVersionKey /LANG=1033 ProductName \"${KX6000_PRODUCT}\"
VIAddVersionKey /LANG=1033 CompanyName \"${KX6000_COMPANY}\"
VIAddVersionKey /LANG=1033 FileDescription \"${KX6000_PRODUCT} ${PROJECT_VERSION} installer\"
VIAddVersionKey /LANG=1033 FileVersion ${PROJECT_VERSION}
VIAddVersionKey /LANG=1033 ProductVersion ${PROJECT_VERSION}
!include /NONFATAL \"${CMAKE_BINARY_DIR}/nsis/signing.nsh\"
")
# Signed with the certificate and key that KX6000_SIGN_CERT and KX6000_SIGN_KEY name, when they are given: the
# programs before they are packed, the uninstaller as makensis writes it (signing.nsh), the installer after.
find_program(OSSLSIGNCODE osslsigncode)
set(CPACK_KX6000_OSSLSIGNCODE ${OSSLSIGNCODE})
set(CPACK_KX6000_SIGNING_NSH ${CMAKE_BINARY_DIR}/nsis/signing.nsh)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/sign-windows.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/sign-windows.cmake)
include(CPack)
