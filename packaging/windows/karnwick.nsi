; The Windows installer of the arena and karnwick. Installs for the user alone
; or for everyone, adds Start menu entries for the arena and its Balance
; window, puts karnwick.exe on the PATH when asked, and leaves an uninstaller
; that removes exactly what it installed.
;
; Silent: setup.exe /S [/CurrentUser | /AllUsers] [/PATH]
;
;   makensis -DVERSION=1.2.3 -DSTAGE=/path/to/unzipped -DOUTFILE=setup.exe \
;            -DLISTS=/path/for/file/lists karnwick.nsi
Unicode true
; A 64-bit installer for 64-bit programs; it also needs no 32-bit layer to run.
Target amd64-unicode
!ifndef VERSION | STAGE | OUTFILE | LISTS
  !error "VERSION, STAGE, OUTFILE and LISTS must be defined"
!endif

!define PRODUCT "Karnwick Battle Arena"
!define KEY "Software\Karnwick"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Karnwick"
; The PATH value of the user (or of the machine, for everyone).
!define USER_ENV "Environment"
!define MACHINE_ENV "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "Karnwick"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallDir"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallDir"
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include WordFunc.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh
!include x64.nsh

!define MUI_ICON "karnwick-arena.ico"
!define MUI_UNICON "karnwick-arena.ico"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!system '"${__FILEDIR__}/nsis-files.sh" "${STAGE}" "${LISTS}"' = 0

; The PATH value of the chosen mode in $0 and its root key's name in $1.
!macro ReadPath
  ${If} $MultiUser.InstallMode == "AllUsers"
    ReadRegStr $0 HKLM "${MACHINE_ENV}" "Path"
  ${Else}
    ReadRegStr $0 HKCU "${USER_ENV}" "Path"
  ${EndIf}
!macroend

!macro WritePath
  ${If} $MultiUser.InstallMode == "AllUsers"
    WriteRegExpandStr HKLM "${MACHINE_ENV}" "Path" $0
  ${Else}
    WriteRegExpandStr HKCU "${USER_ENV}" "Path" $0
  ${EndIf}
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
!macroend

Section "Karnwick Battle Arena and karnwick" SecMain
  SectionIn RO
  SetRegView 64
  SetOutPath "$INSTDIR"
  !include "${LISTS}/install.nsh"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Karnwick Battle Arena.lnk" "$INSTDIR\karnwick-arena.exe"
  CreateShortcut "$SMPROGRAMS\Karnwick Balance.lnk" "$INSTDIR\karnwick-arena.exe" "--balance"
  WriteRegStr SHCTX "${KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\karnwick-arena.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "Put karnwick.exe on the PATH" SecPath
  !insertmacro ReadPath
  ; A value as long as the installer's strings may have been cut short when
  ; read: writing it back would lose the rest of the user's PATH.
  StrLen $2 $0
  ${If} $2 >= ${NSIS_MAX_STRLEN}-2
    DetailPrint "PATH is too long to change safely: add $INSTDIR to it by hand."
    MessageBox MB_ICONEXCLAMATION|MB_OK "Your PATH is too long for the installer to change safely. Add $INSTDIR to it by hand." /SD IDOK
    Return
  ${EndIf}
  ${WordAdd} "$0" ";" "+$INSTDIR" $0
  !insertmacro WritePath
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "AddedToPath" 1
SectionEnd

; /PATH on the command line ticks the PATH option (for silent installs, /S).
Function .onInit
  !insertmacro MULTIUSER_INIT
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PATH" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecPath} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "Uninstall"
  SetRegView 64
  ReadRegDWORD $3 SHCTX "${UNINSTALL_KEY}" "AddedToPath"
  ${If} $3 == 1
    !insertmacro ReadPath
    StrLen $2 $0
    ${If} $2 < ${NSIS_MAX_STRLEN}-2
      ${WordAdd} "$0" ";" "-$INSTDIR" $0
      !insertmacro WritePath
    ${EndIf}
  ${EndIf}
  Delete "$SMPROGRAMS\Karnwick Battle Arena.lnk"
  Delete "$SMPROGRAMS\Karnwick Balance.lnk"
  !include "${LISTS}/uninstall.nsh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  DeleteRegKey SHCTX "${KEY}"
SectionEnd
