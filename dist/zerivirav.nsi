; The Windows installer, built by ./package-windows.sh with Debian's makensis:
;   makensis -DVERSION=1.0 -DOUTFILE=<setup.exe> -DFILES=<install list>
;            -DUNFILES=<uninstall list> -DLICENSE=<license page text>
;            -DICON=<program icon> zerivirav.nsi
; Installs for every user of the machine under Program Files, with a Start
; menu entry and "Open with zerivirav" on folders and inside open folders in
; Explorer. The uninstaller removes exactly what was installed (the lists are
; made from the folder the zip holds), so a folder the user chose that held
; other files keeps them. /S runs either silently.

; A 64-bit installer for the 64-bit program (and for wine without its 32-bit half).
Target amd64-unicode
SetCompressor /SOLID lzma
!include x64.nsh
!include LogicLib.nsh
!include MUI2.nsh

!define APP zerivirav
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define FOLDER_VERB "Software\Classes\Directory\shell\${APP}"
; The same entry on the background of an open folder, where "%V" is that folder.
!define BACKGROUND_VERB "Software\Classes\Directory\Background\shell\${APP}"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This installs ${APP} ${VERSION}, a front end for the quex Atari 2600 emulator, for every user of this computer.$\r$\n$\r$\nOnce installed, start it from the Start menu, or right-click a folder of ROM files in Explorer and choose $\"Open with ${APP}$\".$\r$\n$\r$\n$_CLICK"
; Free software licenses ask for no consent to use the program: the page
; shows them and moves on.
!define MUI_LICENSEPAGE_TEXT_TOP "${APP} and what comes with it are free software, under these licenses:"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "The same texts are installed in the licenses folder. Press Next to continue."
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${APP}"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${APP} ${VERSION} setup"
VIAddVersionKey "LegalCopyright" "The zerivirav developers"

Function .onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

; The finish page starts what the Start menu entry starts. The installer runs
; with administrator rights, which the program must not inherit: Explorer,
; the shell of the user who is signed in, starts it with the user's own.
; Wine's explorer.exe would browse the path instead, and wine has no
; elevation to shed, so under wine (its registry key) it is started directly.
Function StartProgram
  SetOutPath "$INSTDIR"
  ClearErrors
  EnumRegKey $0 HKLM "Software\Wine" 0
  ${If} ${Errors}
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\zerivirav-open.exe"'
  ${Else}
    Exec '"$INSTDIR\zerivirav-open.exe"'
  ${EndIf}
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The Start menu entry starts the launcher, which asks for the ROM folder;
  ; its working folder (the output path) is the install folder.
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\zerivirav-open.exe" "" "$INSTDIR\zerivirav.exe" 0

  WriteRegStr HKLM "${FOLDER_VERB}" "" "Open with ${APP}"
  WriteRegStr HKLM "${FOLDER_VERB}" "Icon" "$INSTDIR\zerivirav.exe"
  WriteRegStr HKLM "${FOLDER_VERB}\command" "" '"$INSTDIR\zerivirav-open.exe" "%1"'
  WriteRegStr HKLM "${BACKGROUND_VERB}" "" "Open with ${APP}"
  WriteRegStr HKLM "${BACKGROUND_VERB}" "Icon" "$INSTDIR\zerivirav.exe"
  WriteRegStr HKLM "${BACKGROUND_VERB}\command" "" '"$INSTDIR\zerivirav-open.exe" "%V"'

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
  DeleteRegKey HKLM "${BACKGROUND_VERB}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
