; The Windows installer: makensis -DVERSION=x.y.z -DDIST=<folder of the programs> -DOUTFILE=<setup.exe>
;                                  -DSIGN=<packaging/windows/sign>
; Installs into Program Files, adds a Start-menu entry and an uninstaller
; listed in Apps & features. An upgrade goes into the installed copy's folder
; and leaves one copy and one entry. Nothing installed is touched before the
; user has agreed (Install pressed) and no program to be replaced or removed
; is running: Cancel on any page, or a running program, leaves the installed
; copy as it was. /S installs silently.
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

Var Installed ; the folder of an installed copy; empty when none

Function .onInit
    ; An earlier installation: offer its folder.
    ReadRegStr $Installed HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${IfNot} ${FileExists} "$Installed\uninstall.exe"
        StrCpy $Installed ""
    ${EndIf}
    ${If} $Installed != ""
        StrCpy $INSTDIR $Installed
    ${EndIf}
FunctionEnd

; Waits until the program in the folder is not running: a running program
; cannot be replaced or removed. Offers to retry; cancelled (or silent),
; the installation stops with nothing changed.
!macro WaitUntilClosed FOLDER PROGRAM
    ${If} ${FileExists} "${FOLDER}\${PROGRAM}"
        ${Do}
            ClearErrors
            FileOpen $0 "${FOLDER}\${PROGRAM}" a
            ${IfNot} ${Errors}
                FileClose $0
                ${Break}
            ${EndIf}
            ${If} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
                    "${PROGRAM} is running.$\r$\nClose it, then choose Retry." /SD IDCANCEL IDCANCEL`
                Abort "${PROGRAM} is running: nothing was changed."
            ${EndIf}
        ${Loop}
    ${EndIf}
!macroend

Function WaitUntilAllClosed
    !insertmacro WaitUntilClosed "$INSTDIR" merovane-config.exe
    !insertmacro WaitUntilClosed "$INSTDIR" merovane-ctl.exe
    ${If} $Installed != ""
    ${AndIf} $Installed != $INSTDIR
        !insertmacro WaitUntilClosed "$Installed" merovane-config.exe
        !insertmacro WaitUntilClosed "$Installed" merovane-ctl.exe
    ${EndIf}
FunctionEnd

Function StartUnelevated
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\merovane-config.exe"'
FunctionEnd

Section "Install"
    Call WaitUntilAllClosed
    ; The new files over the installed ones, or into a folder of their own.
    SetOutPath "$INSTDIR"
    File "${DIST}/merovane-config.exe"
    File "${DIST}/merovane-ctl.exe"
    File "${DIST}/README.txt"
    ; Installed elsewhere before: that copy goes once this one is in place
    ; (its uninstaller waited for; it stays in place for that).
    ${If} $Installed != ""
    ${AndIf} $Installed != $INSTDIR
        ExecWait '"$Installed\uninstall.exe" /S _?=$Installed'
        Delete "$Installed\uninstall.exe"
        RMDir "$Installed"
    ${EndIf}
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
