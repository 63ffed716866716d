; The Windows installer of KV-10. makensis gets VERSION, STAGE (the folder of files to
; install) and OUTFILE from scripts/package-windows.
Unicode true
; A 64-bit installer: the program is 64-bit, and so it runs where only 64-bit Windows programs do.
Target amd64-unicode
SetCompressor /SOLID lzma
Name "KV-10 ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\KV-10"
RequestExecutionLevel admin
Icon "${STAGE}\kv10.ico"
UninstallIcon "${STAGE}\kv10.ico"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KV-10"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\KV-10.lnk" "$INSTDIR\kv10.exe" "" "$INSTDIR\kv10.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "KV-10"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kv10.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\KV-10.lnk"
  RMDir /r "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
