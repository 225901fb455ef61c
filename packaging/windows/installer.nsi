; The Windows installer: makensis -DVERSION=x.y.z -DDIST=<folder of the programs> -DOUTFILE=<setup.exe>
;                                  -DSIGN=<packaging/windows/sign>
; Installs into Program Files, adds a Start-menu entry and an uninstaller
; listed in Apps & features. An installed copy (of any version) is uninstalled
; first, so an upgrade leaves one copy and one entry. /S installs silently.
; A 64-bit installer, as the programs are 64-bit.
Target amd64-unicode
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh

!define PRODUCT "Merovane Config"
!define PUBLISHER "Merovane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\MerovaneConfig"

; The installer and the uninstaller it writes are signed as they are made
; (when a certificate is given; see sign).
!ifdef SIGN
    !finalize '"${SIGN}" "%1"'
    !uninstfinalize '"${SIGN}" "%1"'
!endif

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright 2026 Merovane"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; The installer runs elevated; the program is started by the user's own shell
; (explorer hands the start to the running desktop), so it runs unelevated.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!define MUI_FINISHPAGE_RUN_FUNCTION StartUnelevated
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
    ; An earlier installation: install into its folder, after its own
    ; uninstaller has removed it (waited for; it stays in place for that).
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\uninstall.exe"
        StrCpy $INSTDIR $0
        ExecWait '"$0\uninstall.exe" /S _?=$0' $1
        ${If} $1 != 0
            MessageBox MB_ICONSTOP "The installed ${PRODUCT} could not be removed." /SD IDOK
            Abort
        ${EndIf}
        Delete "$0\uninstall.exe"
    ${EndIf}
FunctionEnd

Function StartUnelevated
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\merovane-config.exe"'
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR"
    File "${DIST}/merovane-config.exe"
    File "${DIST}/merovane-ctl.exe"
    File "${DIST}/README.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    SetShellVarContext all
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\merovane-config.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\merovane-config.exe"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$INSTDIR\merovane-config.exe"
    Delete "$INSTDIR\merovane-ctl.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
