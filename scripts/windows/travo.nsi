; The TRAVO installer, made by scripts/windows/package.sh:
;   makensis -INPUTCHARSET UTF8 -DVERSION=x.y.z -DSTAGE=folder -DFILES_NSH=list -DOUTFILE=setup.exe travo.nsi
; Installs for the current user without administrator rights, into
; %LOCALAPPDATA%\Programs\TRAVO, with a Start-menu shortcut and an uninstaller
; listed under the user's installed programs.
;
; A page of its own asks for the search site's address (the current setting
; on an upgrade, else the bundled local site) and writes it to
; HKCU\Software\TRAVO "Site", where travo.exe and travo-search.exe read it.
;
;   setup.exe /S [/SITE=URL] [/D=folder]   installs silently; exit codes:
;     0 installed, 2 the site address is not http(s), 3 TRAVO is running,
;     4 the previous version could not be removed
;   uninstall.exe /S                       removes silently (3: TRAVO is running)
;
; Installing over an earlier version first runs that version's own
; uninstaller in place, so that files the new version no longer ships go
; and one entry stays under the installed programs. The user's files under
; C:\corvana are never touched.
Unicode true
; A 64-bit installer: TRAVO is a 64-bit program, and Windows on x64 runs it natively.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "nsDialogs.nsh"

!define PRODUCT "TRAVO專利檢索軟體"
!define PUBLISHER "corvana"
!define SETTINGS_KEY "Software\TRAVO"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TRAVO"
!define DEFAULT_SITE "http://127.0.0.1:8631"
!define EXIT_BAD_SITE 2
!define EXIT_RUNNING 3
!define EXIT_OLD_VERSION 4

Name "${PRODUCT}"
OutFile "${OUTFILE}"
Icon "${STAGE}/travo.ico"
UninstallIcon "${STAGE}/travo.ico"
InstallDir "$LOCALAPPDATA\Programs\TRAVO"
InstallDirRegKey HKCU "${SETTINGS_KEY}" "InstallDir"
ShowInstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} 安裝程式"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "TRAVO"

Var Site          ; the search site's address to write
Var SiteField     ; its text box on the page
Var SiteProblem   ; why $Site is refused ("" when it is fine)

Page directory
Page custom SitePage SitePageLeave " - 檢索網站"
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; $SiteProblem := why $Site is no address TRAVO takes: it must start with
; http:// or https:// (in lower case, as TRAVO reads it) and name a host.
Function CheckSite
  StrCpy $SiteProblem ""
  StrCpy $0 $Site 7
  StrCpy $1 $Site 8
  ${If} $0 S== "http://"
    StrCpy $2 $Site 1 7
  ${ElseIf} $1 S== "https://"
    StrCpy $2 $Site 1 8
  ${Else}
    StrCpy $SiteProblem "檢索網站位址必須以 http:// 或 https:// 開頭並含主機名稱: $Site"
    Return
  ${EndIf}
  ${If} $2 == ""
  ${OrIf} $2 == "/"
  ${OrIf} $2 == "?"
  ${OrIf} $2 == "#"
  ${OrIf} $2 == " "
    StrCpy $SiteProblem "檢索網站位址必須以 http:// 或 https:// 開頭並含主機名稱: $Site"
  ${EndIf}
FunctionEnd

; $R1 := the value of /SITE= on the command line, up to the next " /" or
; the end, without surrounding quotes; the error flag is set when it is not
; given. (GetOptions cannot be used: it ends a value at the next "/".)
Function SiteParameter
  ${GetParameters} $R0
  StrLen $R3 $R0
  StrCpy $R2 0
  ${Do}
    ${If} $R2 >= $R3
      SetErrors
      Return
    ${EndIf}
    StrCpy $R4 $R0 6 $R2
    ${If} $R4 == "/SITE="
      ${If} $R2 == 0
        ${Break}
      ${EndIf}
      IntOp $R5 $R2 - 1
      StrCpy $R5 $R0 1 $R5
      ${If} $R5 == " "
        ${Break}
      ${EndIf}
    ${EndIf}
    IntOp $R2 $R2 + 1
  ${Loop}
  IntOp $R2 $R2 + 6
  StrCpy $R1 ""
  ${Do}
    ${If} $R2 >= $R3
      ${Break}
    ${EndIf}
    StrCpy $R4 $R0 2 $R2
    ${If} $R4 == " /"
      ${Break}
    ${EndIf}
    StrCpy $R4 $R0 1 $R2
    StrCpy $R1 "$R1$R4"
    IntOp $R2 $R2 + 1
  ${Loop}
  StrCpy $R4 $R1 1
  StrCpy $R5 $R1 "" -1
  ${If} $R4 == '"'
  ${AndIf} $R5 == '"'
    StrCpy $R1 $R1 -1 1
  ${EndIf}
  ClearErrors
FunctionEnd

Function .onInit
  SetShellVarContext current
  ; The current setting on an upgrade, else the bundled local site; /SITE= wins.
  ReadRegStr $Site HKCU "${SETTINGS_KEY}" "Site"
  ${If} $Site == ""
    StrCpy $Site "${DEFAULT_SITE}"
  ${EndIf}
  Call SiteParameter
  ${IfNot} ${Errors}
    StrCpy $Site $R1
  ${EndIf}
  Call CheckSite
  ; A silent install has no page to correct the address on.
  ${If} $SiteProblem != ""
  ${AndIf} ${Silent}
    SetErrorLevel ${EXIT_BAD_SITE}
    Quit
  ${EndIf}
FunctionEnd

Function SitePage
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 40u "TRAVO 在這個網站檢索專利。請輸入檢索網站的位址（以 http:// 或 https:// 開頭）。$\r$\n日後可重新執行安裝程式更改，或修改登錄值 HKEY_CURRENT_USER\${SETTINGS_KEY} 的 Site。"
  Pop $0
  ${NSD_CreateText} 0 46u 100% 12u "$Site"
  Pop $SiteField
  nsDialogs::Show
FunctionEnd

Function SitePageLeave
  ${NSD_GetText} $SiteField $Site
  Call CheckSite
  ${If} $SiteProblem != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$SiteProblem"
    Abort  ; stays on the page
  ${EndIf}
FunctionEnd

; Waits until no program of TRAVO runs from $INSTDIR: a running program's
; file cannot be opened for writing on Windows. Asks to close it (retry or
; cancel); silent, or on cancel, ends with ${EXIT_RUNNING} before anything
; has changed.
!macro CHECK_NOT_RUNNING un
Function ${un}CheckNotRunning
  retry:
  ${ForEach} $R2 0 3 + 1
    ${Select} $R2
      ${Case} 0
        StrCpy $R3 "travo.exe"
      ${Case} 1
        StrCpy $R3 "travo-search.exe"
      ${Case} 2
        StrCpy $R3 "quire.exe"
      ${Case} 3
        StrCpy $R3 "patent-site.exe"
    ${EndSelect}
    ${If} ${FileExists} "$INSTDIR\$R3"
      ClearErrors
      FileOpen $R4 "$INSTDIR\$R3" a
      ${If} ${Errors}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "TRAVO 正在執行（$INSTDIR\$R3）。$\r$\n請先關閉 TRAVO，再按「重試」。" /SD IDCANCEL IDRETRY retry
        SetErrorLevel ${EXIT_RUNNING}
        Quit
      ${EndIf}
      FileClose $R4
    ${EndIf}
  ${Next}
FunctionEnd
!macroend
!insertmacro CHECK_NOT_RUNNING ""
!insertmacro CHECK_NOT_RUNNING "un."

Section "TRAVO"
  SetShellVarContext current
  Call CheckNotRunning
  ; An earlier version: its own uninstaller removes exactly its files, in
  ; place (_?=), wherever it was installed.
  ReadRegStr $R0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 == ""
    StrCpy $R0 $INSTDIR
  ${EndIf}
  ${If} ${FileExists} "$R0\uninstall.exe"
    ${If} $R0 != $INSTDIR
      StrCpy $R5 $INSTDIR
      StrCpy $INSTDIR $R0
      Call CheckNotRunning
      StrCpy $INSTDIR $R5
    ${EndIf}
    DetailPrint "移除舊版：$R0"
    ClearErrors
    ExecWait '"$R0\uninstall.exe" /S _?=$R0' $R1
    ${If} ${Errors}
    ${OrIf} $R1 != 0
      MessageBox MB_OK|MB_ICONSTOP "無法移除舊版 TRAVO（$R0）。" /SD IDOK
      SetErrorLevel ${EXIT_OLD_VERSION}
      Quit
    ${EndIf}
    Delete "$R0\uninstall.exe"
    RMDir "$R0"
  ${EndIf}

  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${SETTINGS_KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${SETTINGS_KEY}" "Site" "$Site"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\travo.exe" "" "$INSTDIR\travo.ico"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\travo.ico"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $R2 $R3 $R4
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $R2
SectionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

; Removes what the installer put there and the setting with it: the user's
; search lists and reports under C:\corvana stay.
Section "Uninstall"
  SetShellVarContext current
  Call un.CheckNotRunning
  !include "${FILES_NSH}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd
