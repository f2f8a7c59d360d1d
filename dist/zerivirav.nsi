; The Windows installer, built by ./package-windows.sh with Debian's makensis:
;   makensis -DVERSION=1.0 -DOUTFILE=<setup.exe>
;            -DFILES=<install list> -DUNFILES=<uninstall list> zerivirav.nsi
; Installs for every user of the machine under Program Files, with a Start
; menu entry and "Open with zerivirav" on folders in Explorer. The uninstaller
; removes exactly what was installed (the lists are made from the folder the
; zip holds), so a folder the user chose that held other files keeps them.
; /S runs either silently.

; A 64-bit installer for the 64-bit program (and for wine without its 32-bit half).
Target amd64-unicode
SetCompressor /SOLID lzma
!include x64.nsh

!define APP zerivirav
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define FOLDER_VERB "Software\Classes\Directory\shell\${APP}"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${APP} ${VERSION} setup"
VIAddVersionKey "LegalCopyright" "The zerivirav developers"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The Start menu entry starts the program in the user's own folder.
  CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\zerivirav-open.exe" "" "$INSTDIR\zerivirav.exe" 0

  WriteRegStr HKLM "${FOLDER_VERB}" "" "Open with ${APP}"
  WriteRegStr HKLM "${FOLDER_VERB}" "Icon" "$INSTDIR\zerivirav.exe"
  WriteRegStr HKLM "${FOLDER_VERB}\command" "" '"$INSTDIR\zerivirav-open.exe" "%1"'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zerivirav.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The zerivirav developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section Uninstall
  Delete "$SMPROGRAMS\${APP}.lnk"
  DeleteRegKey HKLM "${FOLDER_VERB}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
