; The Windows setup program, made by scripts/package-windows.sh with NSIS:
;   makensis -DVERSION=0.1 -DSTAGE=<folder with mirelka.exe> -DLICENSE=<file> -DOUTFILE=<setup.exe> mirelka.nsi
; The stage holds mirelka.com too, the subcommands' console twin: installed
; beside mirelka.exe, it is what `mirelka` at a prompt in that folder runs.
; The Start menu entry names mirelka.exe, the window, explicitly.
; Installs for all users under Program Files with a Start menu entry and an
; uninstaller. The user's list file (%APPDATA%\mirelka\mirelka.ini) is the
; user's data: neither setup nor the uninstaller touches it.
; A 64-bit setup program, as the program it installs: it runs where that
; runs, sees the 64-bit registry and Program Files, and needs no 32-bit Wine.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"

Name "Mirelka ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Mirelka"
InstallDirRegKey HKLM "Software\Mirelka" "InstallDir"
RequestExecutionLevel admin
BrandingText "Mirelka ${VERSION}"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Mirelka"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\mirelka.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

Section "Mirelka"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Mirelka.lnk" "$INSTDIR\mirelka.exe"
  WriteRegStr HKLM "Software\Mirelka" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Mirelka"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Mirelka developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\mirelka.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes what setup put in place, file by file from the same list, so that
; nothing a user left in the folder is lost.
Section "Uninstall"
  SetShellVarContext all
  !include "${FILELIST}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Mirelka.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Mirelka"
SectionEnd
