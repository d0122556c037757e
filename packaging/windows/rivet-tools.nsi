; The Windows installer of the Rivet device tools, made by scripts/package-windows.sh:
;   makensis -DVERSION=1.0.0 -DSTAGE=<folder with the programs> -DOUTFILE=<setup.exe>
;            -DSIZE_KB=<installed size> -DLICENCE_PAGE=<LICENSE + notices>
;            -DSTAGED=<staged.nsh: every file of STAGE, see package-windows.sh>
;            [-DSIGN=<command that signs the file named after it>] rivet-tools.nsi
; Installing again over an installed copy replaces it in place. The uninstaller removes
; the files listed in uninstall.lst (written before any of them is installed, so it also
; covers a half-finished or earlier install), the folders they leave empty, the
; shortcuts and the registry key; anything else in the folder stays.
; A 64-bit installer for 64-bit programs (and wine64 runs nothing 32-bit).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
; A file that cannot be replaced is retried or the install stops: never skipped.
AllowSkipFiles off

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "TextFunc.nsh"
!include "${STAGED}"

!define PRODUCT "Rivet device tools"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\RivetTools"
!define PROFILES_KEY "SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList"
!define MENU_FOLDER "$SMPROGRAMS\Rivet"
!define DEFAULT_DIR "$PROGRAMFILES64\Rivet"
!define LIST "uninstall.lst"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${DEFAULT_DIR}"
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
; The uninstaller is built from the same header: its description is rewritten in place
; (no longer than the installer's) before it is signed and packed.
!uninstfinalize 'python3 "${__FILEDIR__}/file-description.py" "%1" "${PRODUCT} installer" "Uninstall ${PRODUCT}"' = 0

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

!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; The installer runs elevated; the updater it offers to start runs as the user.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(StartUpdater)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartUpdater
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"

LangString StartUpdater ${LANG_ENGLISH} "Start the Rivet firmware updater"
LangString StartUpdater ${LANG_SIMPCHINESE} "启动 Rivet 固件升级程序"
LangString Running ${LANG_ENGLISH} "Close these programs, then choose Retry:"
LangString Running ${LANG_SIMPCHINESE} "请关闭以下程序，然后选择“重试”："
LangString FolderRefused ${LANG_ENGLISH} "Choose a folder of its own for ${PRODUCT}; this folder's permissions must not be changed:"
LangString FolderRefused ${LANG_SIMPCHINESE} "请为 ${PRODUCT} 选择单独的文件夹；不能更改此文件夹的权限："
LangString NotSecured ${LANG_ENGLISH} "The permissions of the install folder could not be set; nothing was installed:"
LangString NotSecured ${LANG_SIMPCHINESE} "无法设置安装文件夹的权限；未安装任何文件："
LangString LeftBehind ${LANG_ENGLISH} "These files could not be removed; the uninstaller stays so that it can be run again:"
LangString LeftBehind ${LANG_SIMPCHINESE} "无法删除以下文件；卸载程序保留，可以再次运行："
LangString NoList ${LANG_ENGLISH} "The list of installed files is missing; removing the files this version installs."
LangString NoList ${LANG_SIMPCHINESE} "缺少已安装文件列表；将删除此版本安装的文件。"
LangString UserData ${LANG_ENGLISH} "Downloads and logs"
LangString UserData ${LANG_SIMPCHINESE} "下载和日志"
LangString UserDataAbout ${LANG_ENGLISH} "Every user's downloaded firmware and the programs' logs. Unticked, they stay."
LangString UserDataAbout ${LANG_SIMPCHINESE} "每个用户下载的固件和程序日志。不勾选则保留。"

Var made ; the installer made the install folder

Function .onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

; --- Programs that are running from the install folder ---
; A running program's file cannot be opened for writing (Windows and wine alike): the
; user closes it and retries, or cancels; a silent run fails before anything changed.
!macro IF_RUNNING EXE
    ${If} ${FileExists} "$INSTDIR\${EXE}"
        ClearErrors
        FileOpen $0 "$INSTDIR\${EXE}" a
        ${If} ${Errors}
            StrCpy $1 "$1$\r$\n    $INSTDIR\${EXE}"
        ${Else}
            FileClose $0
        ${EndIf}
    ${EndIf}
!macroend
!macro CLOSE_PROGRAMS UN
    Function ${UN}CloseOurPrograms
        retry:
        StrCpy $1 ""
        !insertmacro IF_RUNNING "updater.exe"
        !insertmacro IF_RUNNING "monitor.exe"
        !insertmacro IF_RUNNING "fwtool.exe"
        ${If} $1 != ""
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(Running)$1" /SD IDCANCEL IDRETRY retry
            DetailPrint "$(Running)$1"
            Abort
        ${EndIf}
    FunctionEnd
!macroend
!insertmacro CLOSE_PROGRAMS ""
!insertmacro CLOSE_PROGRAMS "un."

; --- The install folder and its permissions ---
; $0: empty, or why the folder cannot be ours. Its permissions are replaced, so it must
; not be a Program Files folder itself, or Windows' or the user profiles' folder or in them.
!macro REFUSE_IN BASE
    StrLen $5 "${BASE}"
    StrCpy $6 $INSTDIR $5
    StrCpy $7 $INSTDIR 1 $5
    ${If} $6 == "${BASE}"
    ${AndIf} $7 == "\"
    ${OrIf} $INSTDIR == "${BASE}"
        StrCpy $0 "$(FolderRefused)$\r$\n$INSTDIR"
    ${EndIf}
!macroend
Function CheckInstallFolder
    StrCpy $0 ""
    ${If} $INSTDIR == "$PROGRAMFILES64"
    ${OrIf} $INSTDIR == "$PROGRAMFILES32"
    ${OrIf} $INSTDIR == "$COMMONFILES64"
        StrCpy $0 "$(FolderRefused)$\r$\n$INSTDIR"
    ${EndIf}
    !insertmacro REFUSE_IN "$WINDIR"
    ${GetParent} "$PROFILE" $2
    !insertmacro REFUSE_IN $2
FunctionEnd

Function DirectoryLeave
    Call CheckInstallFolder
    ${If} $0 != ""
        MessageBox MB_OK|MB_ICONEXCLAMATION $0
        Abort
    ${EndIf}
FunctionEnd

; Program Files' permissions for a folder of the user's choice: owned by Administrators,
; nothing inherited from above (a folder in C:\ inherits "Authenticated Users: Modify",
; and an administrator runs uninstall.exe), SYSTEM and Administrators full control, Users
; read and run. Well-known SIDs, whatever the system's language names them.
!macro ICACLS ARGS
    ${If} $0 == 0
        nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" ${ARGS}'
        Pop $0
    ${EndIf}
!macroend
Function SecureFolder
    StrCpy $0 0
    !insertmacro ICACLS "/setowner *S-1-5-32-544 /T /Q"
    !insertmacro ICACLS "/reset /T /Q"
    !insertmacro ICACLS "/inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX /Q"
    ${If} $0 != 0
        ${If} $made == 1
            RMDir "$INSTDIR"
        ${EndIf}
        MessageBox MB_OK|MB_ICONSTOP "$(NotSecured)$\r$\n$INSTDIR (icacls: $0)" /SD IDOK
        DetailPrint "$(NotSecured) $INSTDIR (icacls: $0)"
        Abort
    ${EndIf}
FunctionEnd

; --- The list of installed files ---
!macro LIST_FILE DIR NAME
    !if "${DIR}" == ""
        FileWriteUTF16LE $R0 "${NAME}$\r$\n"
    !else
        FileWriteUTF16LE $R0 "${DIR}\${NAME}$\r$\n"
    !endif
!macroend
!macro IS_STAGED DIR NAME
    !if "${DIR}" == ""
        StrCmp $R2 "${NAME}" 0 +2
    !else
        StrCmp $R2 "${DIR}\${NAME}" 0 +2
    !endif
    StrCpy $R3 1
!macroend
!macro INSTALL_FILE DIR NAME
    !if "${DIR}" == ""
        SetOutPath "$INSTDIR"
    !else
        SetOutPath "$INSTDIR\${DIR}"
    !endif
    File "${STAGE}\${DIR}\${NAME}"
!macroend

; $R2: the line just read from $R1 without its line end; the error flag at the end.
!macro READ_LINE
    ClearErrors
    FileReadUTF16LE $R1 $R2
    ${TrimNewLines} $R2 $R2
!macroend

; This version's files, then those of an earlier install that this one does not have.
Function WriteFileList
    FileOpen $R0 "$INSTDIR\${LIST}.new" w
    !insertmacro RIVET_STAGED_FILES LIST_FILE
    ClearErrors
    FileOpen $R1 "$INSTDIR\${LIST}" r
    ${IfNot} ${Errors}
        ${Do}
            !insertmacro READ_LINE
            ${If} ${Errors}
                ${Break}
            ${EndIf}
            StrCpy $R3 0
            !insertmacro RIVET_STAGED_FILES IS_STAGED
            ${If} $R2 != ""
            ${AndIf} $R3 == 0
                FileWriteUTF16LE $R0 "$R2$\r$\n"
            ${EndIf}
        ${Loop}
        FileClose $R1
    ${EndIf}
    FileClose $R0
    Delete "$INSTDIR\${LIST}"
    Rename "$INSTDIR\${LIST}.new" "$INSTDIR\${LIST}"
FunctionEnd

Section "Programs"
    Call CheckInstallFolder
    ${If} $0 != ""
        MessageBox MB_OK|MB_ICONSTOP $0 /SD IDOK
        DetailPrint $0
        Abort
    ${EndIf}
    Call CloseOurPrograms
    StrCpy $made 0
    ${IfNot} ${FileExists} "$INSTDIR\*.*"
        StrCpy $made 1
    ${EndIf}
    CreateDirectory "$INSTDIR"
    ${If} $INSTDIR != "${DEFAULT_DIR}"
        Call SecureFolder
    ${EndIf}
    ; Listed and removable before any of them is written.
    Call WriteFileList
    WriteUninstaller "$INSTDIR\uninstall.exe"
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

    ; The updater shows its help pictures from file\Help beside it.
    !insertmacro RIVET_STAGED_FILES INSTALL_FILE
    SetOutPath "$INSTDIR"

    CreateDirectory "${MENU_FOLDER}"
    CreateShortcut "${MENU_FOLDER}\Rivet firmware updater.lnk" "$INSTDIR\updater.exe"
    CreateShortcut "${MENU_FOLDER}\Rivet device monitor.lnk" "$INSTDIR\monitor.exe"
SectionEnd

Function StartUpdater
    ; Started by the shell, it runs as the signed-in user, not elevated like the installer.
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\updater.exe"'
FunctionEnd

; --- Uninstall ---
; The updater's download cache beside it (when it could write there): one VKP* folder per
; device model (see updater/online/modeltable.cpp) below DIR\file.
!macro REMOVE_MODEL_CACHES DIR
    FindFirst $R5 $R6 "${DIR}\file\VKP*"
    ${DoWhile} $R6 != ""
        ${If} ${FileExists} "${DIR}\file\$R6\*.*"
            RMDir /r "${DIR}\file\$R6"
        ${EndIf}
        FindNext $R5 $R6
    ${Loop}
    FindClose $R5
!macroend

Section "-un.Programs"
    Call un.CloseOurPrograms
    StrCpy $R4 "$INSTDIR\${LIST}"
    ${IfNot} ${FileExists} $R4
        DetailPrint "$(NoList)"
        InitPluginsDir
        StrCpy $R4 "$PLUGINSDIR\${LIST}"
        FileOpen $R0 $R4 w
        !insertmacro RIVET_STAGED_FILES LIST_FILE
        FileClose $R0
    ${EndIf}
    !insertmacro REMOVE_MODEL_CACHES "$INSTDIR"

    FileOpen $R1 $R4 r
    ${Do}
        !insertmacro READ_LINE
        ${If} ${Errors}
            ${Break}
        ${EndIf}
        ${If} $R2 != ""
            Delete "$INSTDIR\$R2"
        ${EndIf}
    ${Loop}
    ; What is still there, and the folders our files leave empty.
    StrCpy $1 ""
    FileSeek $R1 0
    ${Do}
        !insertmacro READ_LINE
        ${If} ${Errors}
            ${Break}
        ${EndIf}
        ${If} $R2 == ""
            ${Continue}
        ${EndIf}
        ${If} ${FileExists} "$INSTDIR\$R2"
            StrCpy $1 "$1$\r$\n    $INSTDIR\$R2"
        ${EndIf}
        ${GetParent} $R2 $R3
        ${DoWhile} $R3 != ""
            RMDir "$INSTDIR\$R3"
            ${GetParent} $R3 $R3
        ${Loop}
    ${Loop}
    FileClose $R1
    ${If} $1 != ""
        MessageBox MB_OK|MB_ICONSTOP "$(LeftBehind)$1" /SD IDOK
        DetailPrint "$(LeftBehind)$1"
        Abort
    ${EndIf}

    Delete "${MENU_FOLDER}\Rivet firmware updater.lnk"
    Delete "${MENU_FOLDER}\Rivet device monitor.lnk"
    RMDir "${MENU_FOLDER}"
    Delete "$INSTDIR\${LIST}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; Only what the programs make in a user's local data folder: the updater's cache and the
; logs; the folders go only when that leaves them empty.
Function un.RemoveUserData
    Exch $R7
    !insertmacro REMOVE_MODEL_CACHES "$R7\updater"
    RMDir "$R7\updater\file"
    Delete "$R7\updater\updater.log"
    Delete "$R7\updater\updater.log.1"
    RMDir "$R7\updater"
    Delete "$R7\monitor\monitor.log"
    Delete "$R7\monitor\monitor.log.1"
    RMDir "$R7\monitor"
    Pop $R7
FunctionEnd

; Asked for on the components page; a silent uninstall keeps them.
Section /o "un.$(UserData)" UserDataSection
    StrCpy $R0 0
    ${Do}
        EnumRegKey $R1 HKLM "${PROFILES_KEY}" $R0
        ${If} $R1 == ""
            ${Break}
        ${EndIf}
        ReadRegStr $R2 HKLM "${PROFILES_KEY}\$R1" "ProfileImagePath"
        ${If} $R2 != ""
            ExpandEnvStrings $R2 $R2
            Push "$R2\AppData\Local"
            Call un.RemoveUserData
        ${EndIf}
        IntOp $R0 $R0 + 1
    ${Loop}
    ; The user running this, whose local data folder may be elsewhere.
    SetShellVarContext current
    Push "$LOCALAPPDATA"
    Call un.RemoveUserData
    SetShellVarContext all
SectionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${UserDataSection} "$(UserDataAbout)"
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
