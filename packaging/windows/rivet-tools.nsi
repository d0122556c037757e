; The Windows installer of the Rivet device tools, made by scripts/package-windows.sh:
;   makensis -DVERSION=1.0.0 -DSTAGE=<folder with the programs> -DOUTFILE=<setup.exe>
;            -DSIZE_KB=<installed size> -DLICENCE_PAGE=<LICENSE + notices>
;            [-DSIGN=<command that signs the file named after it>] rivet-tools.nsi
; Installing again over an installed copy replaces it in place; the uninstaller removes
; every file, shortcut and registry key the installer or the programs made.
; A 64-bit installer for 64-bit programs (and wine64 runs nothing 32-bit).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"

!define PRODUCT "Rivet device tools"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\RivetTools"
!define MENU_FOLDER "$SMPROGRAMS\Rivet"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Rivet"
; An upgrade goes where the installed copy is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "Rivet"
VIAddVersionKey "LegalCopyright" "Rivet"

!define MUI_ICON "${ICONS}\rivet-updater.ico"
!define MUI_UNICON "${ICONS}\rivet-updater.ico"

; --- Licence and signing (release packaging) ---
; The licence page shows our licence and the third-party notices; both files are
; installed beside the programs.
!define MUI_LICENSEPAGE_TEXT_TOP "The Rivet device tools (MIT licence) and the third-party software they carry:"
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "These texts are installed beside the programs: LICENSE.txt and THIRD-PARTY-NOTICES.txt."
!insertmacro MUI_PAGE_LICENSE "${LICENCE_PAGE}"
; With a signing command, the uninstaller is signed before it is packed into the
; installer, and the installer once it is written; a failure stops makensis.
!ifdef SIGN
    !uninstfinalize '${SIGN} "%1"' = 0
    !finalize '${SIGN} "%1"' = 0
!endif
; --- end of licence and signing ---

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"

Function .onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Section "Programs"
    SetOutPath "$INSTDIR"
    File "${STAGE}\updater.exe"
    File "${STAGE}\monitor.exe"
    File "${STAGE}\fwtool.exe"
    File "${STAGE}\LICENSE.txt"
    File "${STAGE}\THIRD-PARTY-NOTICES.txt"
    ; The updater shows its help pictures from file\Help beside it.
    SetOutPath "$INSTDIR\file\Help"
    File "${STAGE}\file\Help\*.jpg"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateDirectory "${MENU_FOLDER}"
    CreateShortcut "${MENU_FOLDER}\Rivet firmware updater.lnk" "$INSTDIR\updater.exe"
    CreateShortcut "${MENU_FOLDER}\Rivet device monitor.lnk" "$INSTDIR\monitor.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Rivet"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\updater.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section "Uninstall"
    Delete "${MENU_FOLDER}\Rivet firmware updater.lnk"
    Delete "${MENU_FOLDER}\Rivet device monitor.lnk"
    RMDir "${MENU_FOLDER}"

    Delete "$INSTDIR\updater.exe"
    Delete "$INSTDIR\monitor.exe"
    Delete "$INSTDIR\fwtool.exe"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
    ; The help pictures and the updater's download cache (one folder per model).
    RMDir /r "$INSTDIR\file"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"

    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
