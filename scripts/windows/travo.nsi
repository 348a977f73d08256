; The TRAVO installer, made by scripts/windows/package.sh:
;   makensis -INPUTCHARSET UTF8 -DVERSION=x.y.z -DSTAGE=folder -DFILES_NSH=list -DOUTFILE=setup.exe travo.nsi
; Installs for the current user without administrator rights, into
; %LOCALAPPDATA%\Programs\TRAVO, with a Start-menu shortcut and an uninstaller
; listed under the user's installed programs. /S installs silently.
Unicode true
; A 64-bit installer: TRAVO is a 64-bit program, and Windows on x64 runs it natively.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define PRODUCT "TRAVO專利檢索軟體"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TRAVO"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
Icon "${STAGE}/travo.ico"
UninstallIcon "${STAGE}/travo.ico"
InstallDir "$LOCALAPPDATA\Programs\TRAVO"
InstallDirRegKey HKCU "Software\TRAVO" "InstallDir"
ShowInstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} 安裝程式"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "TRAVO"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "TRAVO"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "Software\TRAVO" "InstallDir" "$INSTDIR"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\travo.exe" "" "$INSTDIR\travo.ico"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\travo.ico"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes what the installer put there and nothing else: the user's search
; lists and reports under C:\corvana stay.
Section "Uninstall"
  SetShellVarContext current
  !include "${FILES_NSH}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\TRAVO"
SectionEnd
