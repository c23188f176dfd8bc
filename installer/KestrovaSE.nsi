; KestrovaSE-setup.exe: installs KestrovaSE.dll, KVUpdater.exe and kvax32.dll into one folder,
; registers the two libraries, lists the add-in for Word, Excel and PowerPoint and writes the
; uninstaller with its entry in the list of installed programs.
;
;   KestrovaSE-setup.exe [/S] [/ALLUSERS] [/CODE=distribution-code] [/D=folder]
;
; Default: for the current user, no elevation ($LOCALAPPDATA\Programs\Kestrova, HKCU).
; /ALLUSERS: for every user ($PROGRAMFILES64\Kestrova, HKLM); needs an elevated start.
; An existing installation of the same kind is upgraded in its own folder.
;
; Exit codes (installer and uninstaller):
;   0 done   1 cancelled by the user   2 stopped (no 64-bit Windows)
;   3 a running program holds one of the installed files (nothing was changed)
;   4 registration or unregistration of a library failed (an install is rolled back)
;   5 /ALLUSERS or an all-users removal without administrator rights, or "code" not writable
;   6 /CODE= is not 1 to 15 letters, digits, '-' or '_'
;
;
; The libraries write the classes root, which is the machine's unless a user's key overrides it.
; With administrator rights (and always under Wine) they are registered with regsvr32 of their
; bitness; a per-user installation without them uses kvregister (64 and 32-bit, unpacked into
; the plug-ins folder), which maps the classes root to HKCU\Software\Classes first.
;
; Built by CMake with makensis -DOUTFILE= -DLIBRARY64= -DUPDATER= -DPRESENCE= -DREGISTER64=
; -DREGISTER32=.

Unicode true
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!ifndef OUTFILE | LIBRARY64 | UPDATER | PRESENCE | REGISTER64 | REGISTER32
  !error "define OUTFILE, LIBRARY64, UPDATER, PRESENCE, REGISTER64 and REGISTER32"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

!define VERSION "0.9.96.6"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KestrovaSE"
!define SETTINGS_KEY "SOFTWARE\kestrovaSE\1.0.0"
!define ADDIN_KEY "Addins\Tarnwick.Connect"
!define OFFICE_KEY "Software\Microsoft\Office"
!define FOLDER_NAME "Kestrova"

!define EXIT_IN_USE 3
!define EXIT_REGISTRATION 4
!define EXIT_RIGHTS 5
!define EXIT_BAD_CODE 6

OutFile "${OUTFILE}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

Var AllUsers      ; 1 for an all-users installation
Var Code          ; the /CODE= value, empty when not given
Var Upgrade       ; 1 when an installation is already there
Var Failed        ; the exit code a removal ends with
Var UserClasses   ; 1 when the classes go under HKCU\Software\Classes (no administrator rights)

!define MUI_ABORTWARNING
!define MUI_ICON "${NSISDIR}\Contrib\Graphics\Icons\modern-install.ico"
!define MUI_UNICON "${NSISDIR}\Contrib\Graphics\Icons\modern-uninstall.ico"

!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipDirectoryOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Korean"
!include "${__FILEDIR__}\Korean.nsh"

Name "${PRODUCT_NAME}"
BrandingText "${PRODUCT_NAME} ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_KOREAN} "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=${LANG_KOREAN} "CompanyName" "${PUBLISHER_NAME}"
VIAddVersionKey /LANG=${LANG_KOREAN} "FileDescription" "${PRODUCT_NAME} 설치"
VIAddVersionKey /LANG=${LANG_KOREAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_KOREAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_KOREAN} "LegalCopyright" "${PUBLISHER_NAME}"

; Shows text unless silent, then ends with the exit code.
!macro FAIL_WITH code text
  IfSilent +2
    MessageBox MB_OK|MB_ICONSTOP "${text}" /SD IDOK
  SetErrorLevel ${code}
  Quit
!macroend

; Sets $R1 to 1 when file exists and cannot be opened for writing: a loaded library or a
; running program keeps its image file from being written.
!macro FILE_HELD file
  ${If} ${FileExists} "${file}"
    ClearErrors
    FileOpen $R0 "${file}" a
    ${If} ${Errors}
      StrCpy $R1 1
    ${Else}
      FileClose $R0
    ${EndIf}
  ${EndIf}
!macroend

!macro DEFINE_CHECK_NOT_IN_USE prefix
Function ${prefix}CheckNotInUse
  retry:
    StrCpy $R1 0
    !insertmacro FILE_HELD "$INSTDIR\KestrovaSE.dll"
    !insertmacro FILE_HELD "$INSTDIR\KVUpdater.exe"
    !insertmacro FILE_HELD "$INSTDIR\kvax32.dll"
    ${If} $R1 == 0
      Return
    ${EndIf}
    IfSilent gone
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(TextInUse)" IDRETRY retry
  gone:
    SetErrorLevel ${EXIT_IN_USE}
    Quit
FunctionEnd
!macroend
!insertmacro DEFINE_CHECK_NOT_IN_USE ""
!insertmacro DEFINE_CHECK_NOT_IN_USE "un."

; Runs regsvr32 of the given bitness on a library; the exit code is left in $R0 ("error" when
; it could not be started). The 64-bit tool is reached with the file-system redirection of this
; 32-bit program turned off.
!macro DEFINE_REGSVR prefix
Function ${prefix}RegSvr64
  Exch $R2  ; arguments
  ClearErrors
  ${If} $UserClasses == 1
    InitPluginsDir
    File "/oname=$PLUGINSDIR\kvregister64.exe" "${REGISTER64}"
    ExecWait '"$PLUGINSDIR\kvregister64.exe" $R2' $R0
  ${Else}
    ${DisableX64FSRedirection}
    ExecWait '"$WINDIR\System32\regsvr32.exe" /s $R2' $R0
    ${EnableX64FSRedirection}
  ${EndIf}
  IfErrors 0 +2
    StrCpy $R0 "error"
  Pop $R2
FunctionEnd
Function ${prefix}RegSvr32
  Exch $R2
  ClearErrors
  ${If} $UserClasses == 1
    InitPluginsDir
    File "/oname=$PLUGINSDIR\kvregister32.exe" "${REGISTER32}"
    ExecWait '"$PLUGINSDIR\kvregister32.exe" $R2' $R0
  ${Else}
    ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /s $R2' $R0
  ${EndIf}
  IfErrors 0 +2
    StrCpy $R0 "error"
  Pop $R2
FunctionEnd

; Both libraries' uninstall steps; $Failed becomes EXIT_REGISTRATION when one fails.
Function ${prefix}UnregisterLibraries
  ${If} ${FileExists} "$INSTDIR\KestrovaSE.dll"
    Push '/u "$INSTDIR\KestrovaSE.dll"'
    Call ${prefix}RegSvr64
    ${If} $R0 != 0
      StrCpy $Failed ${EXIT_REGISTRATION}
    ${EndIf}
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\kvax32.dll"
    Push '/u "$INSTDIR\kvax32.dll"'
    Call ${prefix}RegSvr32
    ${If} $R0 != 0
      StrCpy $Failed ${EXIT_REGISTRATION}
    ${EndIf}
  ${EndIf}
FunctionEnd

; The files of an installation, including those the self-update leaves beside the library.
Function ${prefix}DeleteFiles
  Delete "$INSTDIR\KestrovaSE.dll"
  Delete "$INSTDIR\KestrovaSE_new.dll"
  Delete "$INSTDIR\KestrovaSE.dll_old"
  Delete "$INSTDIR\KVUpdater.exe"
  Delete "$INSTDIR\kvax32.dll"
  Delete "$INSTDIR\uninstall.exe"
  ; Only an empty folder goes: whatever the user put there stays. SetOutPath made it the
  ; current folder, which cannot be removed.
  SetOutPath "$TEMP"
  RMDir "$INSTDIR"
FunctionEnd

Function ${prefix}DeleteOfficeKeys
  DeleteRegKey SHCTX "${OFFICE_KEY}\Word\${ADDIN_KEY}"
  DeleteRegKey SHCTX "${OFFICE_KEY}\Excel\${ADDIN_KEY}"
  DeleteRegKey SHCTX "${OFFICE_KEY}\PowerPoint\${ADDIN_KEY}"
FunctionEnd
!macroend
!insertmacro DEFINE_REGSVR ""
!insertmacro DEFINE_REGSVR "un."

; $R0: 1 when $Code is 1 to 15 characters of A-Z, a-z, 0-9, '-' and '_'.
Function CodeIsValid
  StrCpy $R0 0
  StrLen $R1 $Code
  ${If} $R1 < 1
  ${OrIf} $R1 > 15
    Return
  ${EndIf}
  StrCpy $R2 0
  ${Do}
    StrCpy $R3 $Code 1 $R2
    ${IfNot} $R3 S>= "0"
    ${OrIfNot} $R3 S<= "9"
      ${IfNot} $R3 S>= "A"
      ${OrIfNot} $R3 S<= "Z"
        ${IfNot} $R3 S>= "a"
        ${OrIfNot} $R3 S<= "z"
          ${If} $R3 S!= "-"
          ${AndIf} $R3 S!= "_"
            Return
          ${EndIf}
        ${EndIf}
      ${EndIf}
    ${EndIf}
    IntOp $R2 $R2 + 1
  ${LoopUntil} $R2 >= $R1
  StrCpy $R0 1
FunctionEnd

Function .onInit
  SetRegView 64
  ${IfNot} ${RunningX64}
    !insertmacro FAIL_WITH 2 "$(TextNeeds64Bit)"
  ${EndIf}
  ${GetParameters} $R9

  StrCpy $Code ""
  ClearErrors
  ${GetOptions} $R9 "/CODE=" $Code
  ${IfNot} ${Errors}
    Call CodeIsValid
    ${If} $R0 != 1
      !insertmacro FAIL_WITH ${EXIT_BAD_CODE} "$(TextBadCode)"
    ${EndIf}
  ${EndIf}

  StrCpy $AllUsers 0
  ClearErrors
  ${GetOptions} $R9 "/ALLUSERS" $R8
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
  ${EndIf}

  UserInfo::GetAccountType
  Pop $R0
  StrCpy $UserClasses 0
  ${If} $R0 != "Admin"
    StrCpy $UserClasses 1
  ${EndIf}
  ${If} $AllUsers == 1
    ${If} $R0 != "Admin"
      !insertmacro FAIL_WITH ${EXIT_RIGHTS} "$(TextNeedsAdmin)"
    ${EndIf}
    SetShellVarContext all
    StrCpy $R1 "$PROGRAMFILES64\${FOLDER_NAME}"
  ${Else}
    SetShellVarContext current
    StrCpy $R1 "$LOCALAPPDATA\Programs\${FOLDER_NAME}"
  ${EndIf}

  ; An existing installation is upgraded where it is; otherwise /D= or the default folder.
  StrCpy $Upgrade 0
  ReadRegStr $R2 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R2 != ""
  ${AndIf} ${FileExists} "$R2\*.*"
    StrCpy $INSTDIR $R2
    StrCpy $Upgrade 1
  ${ElseIf} $INSTDIR == ""
    StrCpy $INSTDIR $R1
  ${EndIf}
FunctionEnd

Function SkipDirectoryOnUpgrade
  ${If} $Upgrade == 1
    Abort
  ${EndIf}
FunctionEnd

Function RollBack
  StrCpy $Failed 0
  Call UnregisterLibraries
  Call DeleteOfficeKeys
  Call DeleteFiles
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
FunctionEnd

Section "Install"
  SetRegView 64
  Call CheckNotInUse

  ; "code" is read by the registration, so it is written first; without it the earlier value stays.
  ${If} $Code != ""
    ClearErrors
    WriteRegStr HKLM "${SETTINGS_KEY}" "code" $Code
    ${If} ${Errors}
      !insertmacro FAIL_WITH ${EXIT_RIGHTS} "$(TextCodeNotStored)"
    ${EndIf}
  ${EndIf}

  SetOutPath "$INSTDIR"
  ; What a self-update left behind belongs to the version being replaced; a waiting new library
  ; would also make the library's unload in regsvr32 start the updater.
  Delete "$INSTDIR\KestrovaSE_new.dll"
  Delete "$INSTDIR\KestrovaSE.dll_old"
  SetOverwrite on
  File "/oname=KestrovaSE.dll" "${LIBRARY64}"
  File "/oname=KVUpdater.exe" "${UPDATER}"
  File "/oname=kvax32.dll" "${PRESENCE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The 64-bit registration makes "pid" and sends the install report.
  Push '"$INSTDIR\KestrovaSE.dll"'
  Call RegSvr64
  StrCpy $R5 $R0
  Push '"$INSTDIR\kvax32.dll"'
  Call RegSvr32
  ${If} $R5 != 0
  ${OrIf} $R0 != 0
    DetailPrint "regsvr32: KestrovaSE.dll $R5, kvax32.dll $R0"
    Call RollBack
    !insertmacro FAIL_WITH ${EXIT_REGISTRATION} "$(TextRegisterFailed)"
  ${EndIf}

  ${ForEach} $R1 0 2 + 1
    ${Select} $R1
      ${Case} 0
        StrCpy $R2 "Word"
      ${Case} 1
        StrCpy $R2 "Excel"
      ${CaseElse}
        StrCpy $R2 "PowerPoint"
    ${EndSelect}
    WriteRegDWORD SHCTX "${OFFICE_KEY}\$R2\${ADDIN_KEY}" "LoadBehavior" 3
    WriteRegStr SHCTX "${OFFICE_KEY}\$R2\${ADDIN_KEY}" "FriendlyName" "${ADDIN_FRIENDLY_NAME}"
    WriteRegStr SHCTX "${OFFICE_KEY}\$R2\${ADDIN_KEY}" "Description" "${ADDIN_DESCRIPTION}"
  ${Next}

  ${GetSize} "$INSTDIR" "/S=0K" $R3 $R4 $R5
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER_NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $R3
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  SetRegView 64
  ; The kind of installation is told by the list entry that names this folder.
  SetShellVarContext current
  UserInfo::GetAccountType
  Pop $R2
  StrCpy $UserClasses 0
  ${If} $R2 != "Admin"
    StrCpy $UserClasses 1
  ${EndIf}
  ReadRegStr $R0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $R1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != $INSTDIR
  ${AndIf} $R1 == $INSTDIR
    ${If} $UserClasses == 1
      !insertmacro FAIL_WITH ${EXIT_RIGHTS} "$(TextUninstallNeedsAdmin)"
    ${EndIf}
    SetShellVarContext all
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetRegView 64
  Call un.CheckNotInUse
  StrCpy $Failed 0
  ; A waiting new library goes first: the library's last unload in regsvr32 would otherwise start
  ; the updater, which swaps files while they are being removed.
  Delete "$INSTDIR\KestrovaSE_new.dll"
  Delete "$INSTDIR\KestrovaSE.dll_old"
  ; The 64-bit unregistration sends the uninstall report; the settings key stays.
  Call un.UnregisterLibraries
  Call un.DeleteOfficeKeys
  Call un.DeleteFiles
  ${If} ${FileExists} "$INSTDIR\KestrovaSE.dll"
  ${OrIf} ${FileExists} "$INSTDIR\KVUpdater.exe"
  ${OrIf} ${FileExists} "$INSTDIR\kvax32.dll"
    ; The entry stays so that the removal can be run again.
    !insertmacro FAIL_WITH ${EXIT_IN_USE} "$(TextFilesLeft)"
  ${EndIf}
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ${If} $Failed != 0
    !insertmacro FAIL_WITH $Failed "$(TextUnregisterFailed)"
  ${EndIf}
SectionEnd
