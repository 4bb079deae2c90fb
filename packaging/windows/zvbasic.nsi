; The ZVBasic installer for 64-bit Windows. makensis gets VERSION, DIST (the
; folder of the zip), OUTFILE, UNINSTALL_LIST (the Delete and RMDir lines
; for the files of DIST), ICON (the program's icon) and, when the build is
; signed, SIGN (the signing script) from scripts/windows.
; A 64-bit installer: it runs where the programs run (and under wine64).
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"
!include "x64.nsh"

Name "ZVBasic ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\ZVBasic"
InstallDirRegKey HKLM "Software\ZVBasic" "InstallDir"
RequestExecutionLevel admin
BrandingText "ZVBasic ${VERSION}"
Icon "${ICON}"
UninstallIcon "${ICON}"
; The installer's own file details.
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 "ProductName" "ZVBasic"
VIAddVersionKey /LANG=0 "CompanyName" "ZVBasic developers"
VIAddVersionKey /LANG=0 "FileDescription" "ZVBasic installer"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright 2024-2026 ZVBasic developers"
!ifdef SIGN
  ; The uninstaller is signed as it is written into the installer (the
  ; installer itself is signed by scripts/windows once made).
  !uninstfinalize '"${SIGN}" "%1"' = 0
!endif

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZVBasic"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "Polish"
!insertmacro MUI_LANGUAGE "Russian"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "ZVBasic needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "ZVBasic"
  SetOutPath "$INSTDIR"
  File /r "${DIST}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; The programs know by this file that they were installed: their settings
  ; go to %APPDATA%\zvbasic, never into the program folder (an unpacked zip
  ; has no such file and keeps its zvbasic.ini beside the programs).
  FileOpen $0 "$INSTDIR\installed.txt" w
  FileWrite $0 "Installed by the ZVBasic ${VERSION} installer: the settings are in %APPDATA%\zvbasic.$\r$\n"
  FileClose $0
  WriteRegStr HKLM "Software\ZVBasic" "InstallDir" "$INSTDIR"

  ; The Start menu, for every user.
  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\ZVBasic"
  CreateShortcut "$SMPROGRAMS\ZVBasic\ZVBasic.lnk" "$INSTDIR\zvbasic.exe" "" "$INSTDIR\zvbasic.exe" 0
  CreateShortcut "$SMPROGRAMS\ZVBasic\ZVBasic capture viewer.lnk" "$INSTDIR\zvbasic-capview.exe" "" \
    "$INSTDIR\zvbasic-capview.exe" 0

  ; The file types, with the programs' icons: captures open in the viewer;
  ; vehicle settings files start the program, which loads the file on its
  ; data transfer screen (F6) and sends nothing to the ECU until Store in
  ; ECU.
  WriteRegStr HKLM "Software\Classes\.dat\OpenWithProgids" "ZVBasic.Capture" ""
  WriteRegStr HKLM "Software\Classes\ZVBasic.Capture" "" "ZVBasic capture"
  WriteRegStr HKLM "Software\Classes\ZVBasic.Capture\DefaultIcon" "" "$INSTDIR\zvbasic-capview.exe,0"
  WriteRegStr HKLM "Software\Classes\ZVBasic.Capture\shell\open\command" "" '"$INSTDIR\zvbasic-capview.exe" "%1"'
  WriteRegStr HKLM "Software\Classes\.zv2" "" "ZVBasic.Vehicle"
  WriteRegStr HKLM "Software\Classes\ZVBasic.Vehicle" "" "ZVBasic vehicle settings"
  WriteRegStr HKLM "Software\Classes\ZVBasic.Vehicle\DefaultIcon" "" "$INSTDIR\zvbasic.exe,0"
  WriteRegStr HKLM "Software\Classes\ZVBasic.Vehicle\shell\open\command" "" '"$INSTDIR\zvbasic.exe" "%1"'

  ; Apps and features.
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "ZVBasic"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "ZVBasic developers"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\zvbasic.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
SectionEnd

; Removes what the installer put there, file by file, and nothing else: the
; fitter's zvbasic.ini (in %APPDATA%\zvbasic, or in this folder when it was
; written there), the backups (%LOCALAPPDATA%\zvbasic\backups) and anything
; saved into the program folder stay.
Section "Uninstall"
  !include "${UNINSTALL_LIST}"
  Delete "$INSTDIR\uninstall.exe"
  Delete "$INSTDIR\installed.txt"
  RMDir "$INSTDIR"

  SetShellVarContext all
  Delete "$SMPROGRAMS\ZVBasic\ZVBasic.lnk"
  Delete "$SMPROGRAMS\ZVBasic\ZVBasic capture viewer.lnk"
  RMDir "$SMPROGRAMS\ZVBasic"
  DeleteRegKey HKLM "Software\Classes\ZVBasic.Capture"
  DeleteRegValue HKLM "Software\Classes\.dat\OpenWithProgids" "ZVBasic.Capture"
  ReadRegStr $0 HKLM "Software\Classes\.zv2" ""
  StrCmp $0 "ZVBasic.Vehicle" 0 +2
    DeleteRegKey HKLM "Software\Classes\.zv2"
  DeleteRegKey HKLM "Software\Classes\ZVBasic.Vehicle"
  DeleteRegKey HKLM "${UNINST_KEY}"
  DeleteRegKey HKLM "Software\ZVBasic"
SectionEnd
