; The BVTerm installer for 64-bit Windows, in the modern interface: welcome, folder, progress
; and finish pages, the last offering to run BVTerm. package.sh passes the version, the output
; file, the icon and the two lists it made of the staged files: what to install, and what to
; remove. This file is UTF-8 (makensis -INPUTCHARSET UTF8).
; A 64-bit installer: a 32-bit one does not start where Windows has no 32-bit subsystem.
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"

!define PRODUCT "Baroventis® Terminal"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\BVTerm"
; The Start entry and the uninstall entry: found by searching for either name.
!define ENTRY "BVTerm — Baroventis Terminal"

Name "BVTerm"
Caption "BVTerm ${VERSION} Setup"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\BVTerm"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails show
BrandingText "BVTerm ${VERSION}"

; Version information of the setup itself (Properties, Details). The company and the
; copyright are left out rather than made up.
!pragma warning disable 9100 ; no "LegalCopyright"
VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "BVTerm setup: installs the serial terminal for laboratory instruments"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "Setup will guide you through the installation of BVTerm ${VERSION}, \
the ${PRODUCT}: a serial terminal for laboratory instruments.$\r$\n$\r$\n$_CLICK"
; The progress page stays until Next, so that what was installed can be read there.
!define MUI_FINISHPAGE_NOAUTOCLOSE
; The program starts as the user who runs the setup, not with the setup's administrator rights.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Run BVTerm"
!define MUI_FINISHPAGE_RUN_FUNCTION RunBVTerm

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function RunBVTerm
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\bvterm.exe"'
FunctionEnd

Section "BVTerm" SectionProgram
    SetRegView 64
    SetShellVarContext all
    !include "${INSTALL_LIST}"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${ENTRY}.lnk" "$INSTDIR\bvterm.exe" "" "$INSTDIR\bvterm.exe" 0
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${ENTRY}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "BVTerm developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\bvterm.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ; What the installed files take, in KiB, as the folder page counted it.
    SectionGetSize ${SectionProgram} $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Removes what the installer put there and nothing else: a help file copied into the folder
; stays, and with it the folder.
Section "Uninstall"
    SetRegView 64
    SetShellVarContext all
    Delete "$SMPROGRAMS\${ENTRY}.lnk"
    !include "${UNINSTALL_LIST}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
