; The installer of the Windows host: inkmoor.exe, the engine library and data\, a Start-menu
; shortcut and an Add/Remove Programs entry, either for all users (Program Files, the all-users
; Start menu, HKLM) or for the current user alone, without administrator rights
; (%LOCALAPPDATA%\Programs, the user's Start menu, HKCU). A page asks which; so do switches:
;   /AllUsers       for all users (needs administrator rights)
;   /CurrentUser    for the current user alone
;   /S              silent; /D=FOLDER the folder of a first install (last on the command line)
; Without a switch: the scope of the version installed, else all users for an administrator and
; the current user for anyone else. The installer runs with the rights it was started with, so an
; install for the current user never asks for an administrator; one for all users started
; without those rights asks Windows to start the installer again elevated (UAC).
;
; Another version installed in that scope decides the folder: the installer closes the running
; program as a user would, lets that version's own uninstaller remove what it installed (files a
; user added stay), and installs into the same folder. So one entry remains, and files that this
; version no longer ships are gone.
;
; An elevated installer runs nothing that a user without rights could have put in place: it
; ignores the current user's entry (HKCU) unless /CurrentUser asks for that install, and runs no
; uninstaller from outside Program Files; there it removes the programs, the uninstaller and
; data\ itself. An install for all users into a folder outside Program Files gives that folder the
; permissions of Program Files (administrators and SYSTEM full control, users read and execute),
; or is refused, so that no user can replace what an administrator later starts.
;
; Exit codes beyond NSIS's own (0 installed, 1 cancelled, 2 aborted):
!define EXIT_NEWER_INSTALLED 3  ; a newer version is installed: no downgrade
!define EXIT_STILL_RUNNING 4    ; the program did not close when asked; nothing was changed
!define EXIT_NOT_ADMIN 5        ; for all users, without administrator rights or elevation
!define EXIT_NOT_SECURED 6      ; the chosen all-users folder could not be given those permissions
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
; Program Files' permissions, inherited by everything below: SYSTEM and administrators full
; control, users read and execute; none inherited from the folder above (protected).
!define PROGRAM_FILES_SDDL "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"
!define SDDL_REVISION_1 1
!define SE_FILE_OBJECT 1
!define PROTECTED_DACL_INFORMATION 0x80000004
!define SEE_MASK_NOCLOSEPROCESS 0x40
!define SHELL_EXECUTE_INFO_SIZE 112
!define INFINITE 0xFFFFFFFF
; Marks the installer started again elevated, so that it never starts itself a third time.
!define ELEVATED_SWITCH "/Elevated"
; Windows Error Reporting's dumps of the crashes that no handler inside inkmoor.exe sees (a fast
; fail, a crash under the loader lock), into the folder of the host's own dumps. The entry is per
; machine: an install for the current user cannot write it.
!define LOCAL_DUMPS_KEY "SOFTWARE\Microsoft\Windows\Windows Error Reporting\LocalDumps\${EXE_NAME}"

!ifdef SIGN_COMMAND
  !uninstfinalize '"${SIGN_COMMAND}" "%1" ${UNINSTALLER}' = 0
!endif

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; Elevation only where it is needed: ElevateForAllUsers.
RequestExecutionLevel user
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
Var Elevated         ; 1 when the installer runs with administrator rights

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

; Administrator rights in effect: an administrator's installer started without elevation has
; a token without them.
Function FindElevation
  UserInfo::GetAccountType
  Pop $0
  StrCpy $Elevated 0
  ${If} $0 == "Admin"
    StrCpy $Elevated 1
  ${EndIf}
FunctionEnd

; The scope of the version installed, if any, the current user's first; an elevated installer
; does not trust the current user's entry, which that user can write without rights.
Function FindInstalledScope
  ${If} $Elevated != 1
    StrCpy $Scope "CurrentUser"
    Call UseScope
    ${If} $InstalledFolder != ""
      StrCpy $ScopeFixed 1
      Return
    ${EndIf}
  ${EndIf}
  StrCpy $Scope "AllUsers"
  Call UseScope
  ${If} $InstalledFolder != ""
    StrCpy $ScopeFixed 1
    Return
  ${EndIf}
  ${If} $Elevated != 1
    StrCpy $Scope "CurrentUser"
  ${EndIf}
FunctionEnd

; Starts this installer again elevated, for all users, with the same switches, waits for it and
; ends with its exit code. Returns when it could not be started (elevation declined, or this is
; the installer started again already).
Function ElevateForAllUsers
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "${ELEVATED_SWITCH}" $1
  ${IfNot} ${Errors}
    Return
  ${EndIf}
  ; /D= must stay last.
  System::Call '*(i ${SHELL_EXECUTE_INFO_SIZE}, i ${SEE_MASK_NOCLOSEPROCESS}, p $HWNDPARENT, \
    w "runas", w "$EXEPATH", w "/AllUsers ${ELEVATED_SWITCH} $0", p 0, i ${SW_SHOWNORMAL}, i 0, \
    p 0, p 0, p 0, p 0, i 0, i 0, p 0, p 0) p .r1'
  System::Call 'shell32::ShellExecuteExW(p r1) i .r2'
  System::Call '*$1(i, i, p, p, p, p, p, i, i, p, p, p, p, i, i, p, p .r3)'
  System::Free $1
  ${If} $2 == 0
  ${OrIf} $3 == 0
    Return
  ${EndIf}
  System::Call 'kernel32::WaitForSingleObject(p r3, i ${INFINITE})'
  System::Call 'kernel32::GetExitCodeProcess(p r3, *i .r4)'
  System::Call 'kernel32::CloseHandle(p r3)'
  SetErrorLevel $4
  Quit
FunctionEnd

; $0 is 1 when $INSTDIR, made absolute, lies inside Program Files.
Function CheckInProgramFiles
  System::Call 'kernel32::GetFullPathNameW(w "$INSTDIR", i ${NSIS_MAX_STRLEN}, w .r1, p 0)'
  StrLen $2 "$PROGRAMFILES64\"
  StrCpy $1 $1 $2
  StrCpy $0 0
  ; NSIS compares without regard to case, as Windows names files.
  ${If} $1 == "$PROGRAMFILES64\"
    StrCpy $0 1
  ${EndIf}
FunctionEnd

; Gives $INSTDIR Program Files' permissions; refuses the install when it cannot.
Function SecureFolder
  CreateDirectory "$INSTDIR"
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW( \
    w "${PROGRAM_FILES_SDDL}", i ${SDDL_REVISION_1}, *p .r1, p 0) i .r0'
  StrCpy $5 1
  ${If} $0 != 0
    System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r2, *p .r3, *i .r4) i .r0'
    System::Call 'advapi32::SetNamedSecurityInfoW(w "$INSTDIR", i ${SE_FILE_OBJECT}, \
      i ${PROTECTED_DACL_INFORMATION}, p 0, p 0, p r3, p 0) i .r5'
    System::Call 'kernel32::LocalFree(p r1)'
  ${EndIf}
  ${If} $5 != 0
    RMDir "$INSTDIR"
    MessageBox MB_ICONSTOP "$INSTDIR cannot be given the permissions of Program Files \
      (error $5), so any user could change what is installed there. Install into Program \
      Files, or choose another folder." /SD IDOK
    SetErrorLevel ${EXIT_NOT_SECURED}
    Quit
  ${EndIf}
  DetailPrint "Gave $INSTDIR the permissions of Program Files"
FunctionEnd

; The version installed in $INSTDIR goes: through its own uninstaller where no user without
; rights could have replaced it, else removed by this installer itself.
Function RemoveInstalled
  Call CheckInProgramFiles
  ${If} $Elevated == 1
  ${AndIf} $0 != 1
    DetailPrint "Removing ${PRODUCT} $InstalledVersion"
    !insertmacro UninstallBundle
    RMDir /r "$INSTDIR\data"
    Delete "$INSTDIR\${UNINSTALLER}"
    Return
  ${EndIf}
  ${IfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    Return
  ${EndIf}
  DetailPrint "Removing ${PRODUCT} $InstalledVersion"
  ; In place (_?=), so that ExecWait waits for the removal itself.
  ExecWait '"$INSTDIR\${UNINSTALLER}" /S _?=$INSTDIR' $0
  ${If} $0 != 0
    MessageBox MB_ICONSTOP "Removing ${PRODUCT} $InstalledVersion failed (exit code $0)." /SD IDOK
    Abort
  ${EndIf}
FunctionEnd

; Settles the scope: rights, the version installed there (no downgrade), the folder.
Function ApplyScope
  Call UseScope
  ${If} $Scope == "AllUsers"
    ${If} $Elevated != 1
      Call ElevateForAllUsers
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
  Call FindElevation
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
  ${If} $Scope == "AllUsers"
    Call CheckInProgramFiles
    ${If} $0 != 1
      Call SecureFolder
    ${EndIf}
  ${EndIf}
  ${If} $InstalledFolder != ""
    Call RemoveInstalled
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
