; The benchmark payload as an NSIS installer, for comparison: the same files,
; a Start-menu shortcut, a desktop shortcut, an uninstaller and its registry
; entry. makensis -DPAYLOAD=<folder> -DCOMPRESSOR=<zlib|/SOLID lzma> -DOUTFILE=<exe>
Unicode true
SetCompressor ${COMPRESSOR}
Name "Kestrel Trader"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Kestrel Trader NSIS"
RequestExecutionLevel admin
SilentInstall normal

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrel Trader NSIS"

Section
  SetOutPath "$INSTDIR"
  File /r "${PAYLOAD}\*"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\Kestrel Trader NSIS"
  CreateShortcut "$SMPROGRAMS\Kestrel Trader NSIS\Kestrel Trader.lnk" "$INSTDIR\terminal.exe"
  CreateShortcut "$DESKTOP\Kestrel Trader NSIS.lnk" "$INSTDIR\terminal.exe"
  WriteRegStr HKLM "${KEY}" "DisplayName" "Kestrel Trader"
  WriteRegStr HKLM "${KEY}" "UninstallString" "$INSTDIR\Uninstall.exe"
  ExecWait '"$INSTDIR\terminal.exe" /install'
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$DESKTOP\Kestrel Trader NSIS.lnk"
  RMDir /r "$SMPROGRAMS\Kestrel Trader NSIS"
  DeleteRegKey HKLM "${KEY}"
  RMDir /r "$INSTDIR"
SectionEnd
