# `make package-windows`: the Windows installer, built by CPack's NSIS generator (Debian's makensis) from
# what `cmake --install` puts in one folder: the programs and the help side by side, as the programs look
# for it, and the examples below them.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/windows/ DESTINATION examples OPTIONAL)

set(CPACK_GENERATOR NSIS)
# The NSIS lines below reach the installer script exactly as written here.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME KX6000Download)
set(CPACK_PACKAGE_VENDOR "KX6000 Download maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download component for KX6100 and KX6200 mobile radios")
set(CPACK_PACKAGE_FILE_NAME KX6000Download-${PROJECT_VERSION}-win32)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "KX6000 Download")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "KX6000 Download")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/packaging/copyright)
set(CPACK_STRIP_FILES ON)
# The programs are 32-bit: on 64-bit Windows they belong in "Program Files (x86)".
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES32")
set(CPACK_NSIS_INSTALLED_ICON_NAME KX6000Download.exe)
set(CPACK_NSIS_MENU_LINKS KX6000Download.exe "KX6000 Download" kx6kd_en.chm "KX6000 Download Help")
# A new version replaces the one installed, whose uninstaller then runs silently first.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The server's registration, made once its files are in place; a server that cannot register fails the
# installation, since no caller could create it. It is removed while the program is still there to do it.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [[
  ExecWait '"$INSTDIR\KX6000Download.exe" /RegServer' $0
  StrCmp $0 0 +3
    MessageBox MB_OK|MB_ICONSTOP \
      "KX6000Download.exe /RegServer failed ($0): the automation server is not registered." /SD IDOK
    Abort "The automation server is not registered."
]])
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [[
  ExecWait '"$INSTDIR\KX6000Download.exe" /UnregServer'
]])
# The uninstaller deletes its key below the vendor's, but not the vendor's key itself: this runs after that.
set(CPACK_NSIS_DELETE_ICONS_EXTRA [[
  DeleteRegKey /ifempty SHCTX "Software\KX6000 Download maintainers"
]])
include(CPack)
