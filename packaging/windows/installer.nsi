; The installer of the Windows host: inkmoor.exe, the engine library and data\, a Start-menu
; shortcut and an Add/Remove Programs entry, either for all users (Program Files, the all-users
; Start menu, HKLM) or for the current user alone, without administrator rights
; (%LOCALAPPDATA%\Programs, the user's Start menu, HKCU). A page asks which; so do switches:
;   /AllUsers       for all users (needs administrator rights)
;   /CurrentUser    for the current user alone
;   /S              silent; /D=FOLDER the folder of a first install (last on the command line)
; Without a switch: the scope of the version installed, else all users for an administrator and
; the current user for anyone else.
;
; Another version installed in that scope decides the folder: the installer closes the running
; program as a user would, lets that version's own uninstaller remove what it installed (files a
; user added stay), and installs into the same folder. So one entry remains, and files that this
; version no longer ships are gone.
;
; Exit codes beyond NSIS's own (0 installed, 1 cancelled, 2 aborted):
!define EXIT_NEWER_INSTALLED 3  ; a newer version is installed: no downgrade
!define EXIT_STILL_RUNNING 4    ; the program did not close when asked; nothing was changed
!define EXIT_NOT_ADMIN 5        ; /AllUsers without administrator rights
;
; tools/package makes it and passes in everything that is not fixed here:
;   PRODUCT, PUBLISHER, VERSION    from the build (CMakeLists.txt)
;   VERSION_QUAD                   the same version as four dotted numbers
;   BUNDLE_FILES                   the InstallBundle and UninstallBundle macros of the bundle
;   APP_ICON, OUTFILE
;   SIGN_COMMAND                   when signing: signs the uninstaller before it is stored
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
; No build time inside the installer: the files' dates are not stored.
SetDateSave off

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "nsDialogs.nsh"
!include "WordFunc.nsh"

!macro Require NAME
  !ifndef ${NAME}
    !error "${NAME} is not defined: make the installer with tools/package"
  !endif
!macroend
!insertmacro Require PRODUCT
!insertmacro Require PUBLISHER
!insertmacro Require VERSION
!insertmacro Require VERSION_QUAD
!insertmacro Require BUNDLE_FILES
!insertmacro Require APP_ICON
!insertmacro Require OUTFILE

!include "${BUNDLE_FILES}"

!define EXE_NAME "inkmoor.exe"
!define UNINSTALLER "Uninstall.exe"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; The class of the host's top-level window (runner/win32_window.cpp).
!define WINDOW_CLASS "WEFT_RUNNER_WIN32_WINDOW"
!define SYNCHRONIZE_AND_QUERY 0x00101000
!define WAIT_OBJECT_0 0
!define CLOSE_WAIT_MILLISECONDS 20000
!define CLOSE_ATTEMPTS 8
; Windows Error Reporting's dumps of the crashes that no handler inside inkmoor.exe sees (a fast
; fail, a crash under the loader lock), into the folder of the host's own dumps. The entry is per
; machine: an install for the current user cannot write it.
!define LOCAL_DUMPS_KEY "SOFTWARE\Microsoft\Windows\Windows Error Reporting\LocalDumps\${EXE_NAME}"

!ifdef SIGN_COMMAND
  !uninstfinalize '"${SIGN_COMMAND}" "%1" ${UNINSTALLER}' = 0
!endif

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; An administrator is asked to elevate; anyone else runs as is and can install for themselves.
RequestExecutionLevel highest
Icon "${APP_ICON}"
UninstallIcon "${APP_ICON}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "LegalCopyright" "Copyright (C) ${PUBLISHER}"

Var Scope            ; AllUsers or CurrentUser
Var ScopeFixed       ; 1 when a switch or an installed version chose the scope
Var ChosenFolder     ; the /D folder, if any
Var InstalledFolder  ; the version installed in the scope: its folder and version
Var InstalledVersion
Var AllUsersButton

Page custom ScopePage ScopePageLeave
Page directory SkipWhenInstalled
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Closes every window of the host that runs from $INSTDIR, as a user would (WM_CLOSE), and waits
; for its process to end. When one does not end in time, nothing has been changed yet: the
; installer or uninstaller stops with EXIT_STILL_RUNNING.
!macro CloseRunningFunction PREFIX
  Function ${PREFIX}CloseRunning
    StrCpy $1 0
    StrCpy $6 0
    ${Do}
      System::Call 'user32::FindWindowExW(p 0, p r1, w "${WINDOW_CLASS}", p 0) p .r1'
      ${If} $1 == 0
        ${Break}
      ${EndIf}
      System::Call 'user32::GetWindowThreadProcessId(p r1, *i .r2)'
      System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE_AND_QUERY}, i 0, i r2) p .r3'
      ${If} $3 == 0
        ${Continue}
      ${EndIf}
      System::Call 'kernel32::QueryFullProcessImageNameW(p r3, i 0, w .r4, *i ${NSIS_MAX_STRLEN})'
      ${If} $4 != "$INSTDIR\${EXE_NAME}"
        System::Call 'kernel32::CloseHandle(p r3)'
        ${Continue}
      ${EndIf}
      DetailPrint "Closing ${PRODUCT}"
      System::Call 'user32::PostMessageW(p r1, i ${WM_CLOSE}, p 0, p 0)'
      System::Call 'kernel32::WaitForSingleObject(p r3, i ${CLOSE_WAIT_MILLISECONDS}) i .r5'
      System::Call 'kernel32::CloseHandle(p r3)'
      IntOp $6 $6 + 1
      ${If} $5 != ${WAIT_OBJECT_0}
      ${OrIf} $6 >= ${CLOSE_ATTEMPTS}
        MessageBox MB_ICONSTOP "${PRODUCT} is still running. Close it and try again." /SD IDOK
        SetErrorLevel ${EXIT_STILL_RUNNING}
        Quit
      ${EndIf}
      ; Windows came and went: look again from the first.
      StrCpy $1 0
    ${Loop}
  FunctionEnd
!macroend
!insertmacro CloseRunningFunction ""
!insertmacro CloseRunningFunction "un."

; A mini dump (DumpType 1), the newest ten, in %LOCALAPPDATA% of whoever crashed.
!macro WriteLocalDumps
  ${If} $Scope == "AllUsers"
    WriteRegExpandStr HKLM "${LOCAL_DUMPS_KEY}" "DumpFolder" "%LOCALAPPDATA%\${PRODUCT}\CrashDumps"
    WriteRegDWORD HKLM "${LOCAL_DUMPS_KEY}" "DumpCount" 10
    WriteRegDWORD HKLM "${LOCAL_DUMPS_KEY}" "DumpType" 1
  ${EndIf}
!macroend

!macro RemoveLocalDumps
  ${If} $Scope == "AllUsers"
    DeleteRegKey HKLM "${LOCAL_DUMPS_KEY}"
  ${EndIf}
!macroend

Function UseScope
  ${If} $Scope == "AllUsers"
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ReadRegStr $InstalledFolder SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $InstalledVersion SHCTX "${UNINSTALL_KEY}" "DisplayVersion"
FunctionEnd

; The scope of the version installed, if any, the current user's first.
Function FindInstalledScope
  StrCpy $Scope "CurrentUser"
  Call UseScope
  ${If} $InstalledFolder != ""
    StrCpy $ScopeFixed 1
    Return
  ${EndIf}
  StrCpy $Scope "AllUsers"
  Call UseScope
  ${If} $InstalledFolder != ""
    StrCpy $ScopeFixed 1
    Return
  ${EndIf}
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    StrCpy $Scope "CurrentUser"
  ${EndIf}
FunctionEnd

; Settles the scope: rights, the version installed there (no downgrade), the folder.
Function ApplyScope
  Call UseScope
  ${If} $Scope == "AllUsers"
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
      MessageBox MB_ICONSTOP "Installing ${PRODUCT} for all users needs administrator rights. \
        Run the installer as an administrator, or install for yourself alone." /SD IDOK
      SetErrorLevel ${EXIT_NOT_ADMIN}
      Quit
    ${EndIf}
  ${EndIf}
  ${If} $InstalledFolder != ""
    ; DisplayVersion reads 1.0.1+2; as four numbers it compares as 1.0.1.2.
    ${WordReplace} $InstalledVersion "+" "." "+" $0
    ${VersionCompare} $0 "${VERSION_QUAD}" $1
    ${If} $1 == 1
      MessageBox MB_ICONSTOP "${PRODUCT} $InstalledVersion is installed, which is newer than \
        ${VERSION}. To install ${VERSION}, uninstall $InstalledVersion first." /SD IDOK
      SetErrorLevel ${EXIT_NEWER_INSTALLED}
      Quit
    ${EndIf}
    StrCpy $INSTDIR $InstalledFolder
  ${ElseIf} $ChosenFolder != ""
    StrCpy $INSTDIR $ChosenFolder
  ${ElseIf} $Scope == "AllUsers"
    StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
  ${Else}
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${PRODUCT}"
  ${EndIf}
FunctionEnd

Function .onInit
  SetRegView 64
  ; No InstallDir: $INSTDIR holds a folder here only when /D gave one.
  StrCpy $ChosenFolder $INSTDIR
  StrCpy $ScopeFixed 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/CurrentUser" $1
  ${IfNot} ${Errors}
    StrCpy $Scope "CurrentUser"
    StrCpy $ScopeFixed 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/AllUsers" $1
  ${IfNot} ${Errors}
    StrCpy $Scope "AllUsers"
    StrCpy $ScopeFixed 1
  ${EndIf}
  ${If} $Scope == ""
    Call FindInstalledScope
  ${EndIf}
  Call ApplyScope
FunctionEnd

Function ScopePage
  ${If} $ScopeFixed == 1
    Abort
  ${EndIf}
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 24u "Install ${PRODUCT} for:"
  Pop $0
  ${NSD_CreateRadioButton} 10u 30u 100% 12u "Anyone who uses this computer (needs administrator rights)"
  Pop $AllUsersButton
  ${NSD_CreateRadioButton} 10u 46u 100% 12u "Only for me"
  Pop $0
  ${If} $Scope == "AllUsers"
    ${NSD_Check} $AllUsersButton
  ${Else}
    ${NSD_Check} $0
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ScopePageLeave
  ${NSD_GetState} $AllUsersButton $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Scope "AllUsers"
  ${Else}
    StrCpy $Scope "CurrentUser"
  ${EndIf}
  Call ApplyScope
FunctionEnd

; An installed version's folder is not for choosing.
Function SkipWhenInstalled
  ${If} $InstalledFolder != ""
    Abort
  ${EndIf}
FunctionEnd

Section "Install"
  Call CloseRunning
  ${If} $InstalledFolder != ""
  ${AndIf} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    DetailPrint "Removing ${PRODUCT} $InstalledVersion"
    ; In place (_?=), so that ExecWait waits for the removal itself.
    ExecWait '"$INSTDIR\${UNINSTALLER}" /S _?=$INSTDIR' $0
    ${If} $0 != 0
      MessageBox MB_ICONSTOP "Removing ${PRODUCT} $InstalledVersion failed (exit code $0)." /SD IDOK
      Abort
    ${EndIf}
  ${EndIf}

  !insertmacro InstallBundle
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; The shortcut's working folder is the output path at this point: $INSTDIR.
  CreateShortcut "${SHORTCUT}" "$INSTDIR\${EXE_NAME}" "" "$INSTDIR\${EXE_NAME}" 0 \
    SW_SHOWNORMAL "" "${PRODUCT}"

  ; SHCTX is HKLM for all users and HKCU for the current user (SetShellVarContext).
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE_NAME},0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB, as Add/Remove Programs expects.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
  !insertmacro WriteLocalDumps
SectionEnd

; The uninstaller belongs to the current user's install when that entry names its folder.
Function un.onInit
  SetRegView 64
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    SetShellVarContext current
    StrCpy $Scope "CurrentUser"
  ${Else}
    SetShellVarContext all
    StrCpy $Scope "AllUsers"
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.CloseRunning
  Delete "${SHORTCUT}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  !insertmacro RemoveLocalDumps
  !insertmacro UninstallBundle
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty, so that files a user put there survive.
  RMDir "$INSTDIR"
SectionEnd
