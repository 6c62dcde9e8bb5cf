; Tarvel's Windows installer, made by makensis on Linux (packaging/windows/CMakeLists.txt).
; Defines from the build: VERSION (1.2.3), OUTFILE, ICON, and X64_DIR and/or X86_DIR: folders that
; hold the programs of each build (tarvel-flash.exe; tarvel.exe with HAVE_WINDOW). Given both, the
; machine's own one is installed. AMD64_STUB makes a 64-bit installer of the same script.
; Per user (no administrator needed) or for every user; /CurrentUser or /AllUsers choose it on the
; command line, /S installs silently, /D= names the folder.
!ifdef AMD64_STUB
  Target amd64-unicode
!else
  Unicode true
!endif

; LogicLib leaves labels unused in the branches that !ifdef keeps out.
!pragma warning disable 6012

!define NAME "Tarvel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${NAME}"
; The uninstaller (and a new installer) works in the mode the programs were installed in.
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "UninstallString"
!define MULTIUSER_INSTALLMODE_FUNCTION InstallModeChosen
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
SetCompressor /SOLID lzma
BrandingText "${NAME} ${VERSION}"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${NAME}"
VIAddVersionKey /LANG=1033 "FileDescription" "${NAME} installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "Tarvel developers"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Tarvel developers"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!ifdef HAVE_WINDOW
  !define MUI_FINISHPAGE_RUN "$INSTDIR\tarvel.exe"
!endif
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var GivenDir

; 64-bit programs go to the 64-bit Program Files and registry, as an installer of their own would.
!macro UseMachineView
  !ifdef X64_DIR
    ${If} ${RunningX64}
      SetRegView 64
    ${EndIf}
  !endif
!macroend

Function .onInit
  !ifndef X86_DIR
    ${IfNot} ${RunningX64}
      MessageBox MB_OK|MB_ICONSTOP "This installer holds the 64-bit ${NAME} only; this Windows is 32-bit." /SD IDOK
      Abort
    ${EndIf}
  !endif
  !insertmacro UseMachineView
  StrCpy $GivenDir $INSTDIR ; /D= is set before this runs; the mode's default must not replace it
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function InstallModeChosen
  !ifdef X64_DIR
    ${If} ${RunningX64}
    ${AndIf} $MultiUser.InstallMode == "AllUsers"
      StrCpy $INSTDIR "$PROGRAMFILES64\${NAME}"
    ${EndIf}
  !endif
  ${If} $GivenDir != ""
    StrCpy $INSTDIR $GivenDir
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro UseMachineView
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

!macro InstallFrom DIR
  File "${DIR}\tarvel-flash.exe"
  !ifdef HAVE_WINDOW
    File "${DIR}\tarvel.exe"
  !endif
!macroend

Section "Tarvel"
  SetOutPath "$INSTDIR"
  !ifdef X64_DIR & X86_DIR
    ${If} ${RunningX64}
      !insertmacro InstallFrom "${X64_DIR}"
    ${Else}
      !insertmacro InstallFrom "${X86_DIR}"
    ${EndIf}
  !else ifdef X64_DIR
    !insertmacro InstallFrom "${X64_DIR}"
  !else
    !insertmacro InstallFrom "${X86_DIR}"
  !endif
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${NAME}"
  !ifdef HAVE_WINDOW
    CreateShortcut "$SMPROGRAMS\${NAME}\${NAME}.lnk" "$INSTDIR\tarvel.exe"
  !endif
  ; tarvel-flash is a console program: a prompt in its folder, its help shown.
  CreateShortcut "$SMPROGRAMS\${NAME}\${NAME} command line.lnk" "$SYSDIR\cmd.exe" \
    '/k "cd /d "$INSTDIR" && tarvel-flash.exe --help"' "$INSTDIR\tarvel-flash.exe"

  ; Add/Remove programs, in the install mode's hive.
  ${If} $MultiUser.InstallMode == "AllUsers"
    StrCpy $0 "/AllUsers"
  ${Else}
    StrCpy $0 "/CurrentUser"
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Tarvel developers"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tarvel-flash.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe" $0'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" $0 /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\tarvel-flash.exe"
  Delete "$INSTDIR\tarvel.exe"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR" ; only when empty: files the user put there stay
  Delete "$SMPROGRAMS\${NAME}\${NAME}.lnk"
  Delete "$SMPROGRAMS\${NAME}\${NAME} command line.lnk"
  RMDir "$SMPROGRAMS\${NAME}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
