; The installer of the plug-in: finds the player's folder, puts the DLL into its Plugins folder and
; registers an uninstaller in the system's list of programs. The user's own data (the player's
; folder, the settings file beside the player) is never touched.
;
; Built by tools/installer/make-installer, which passes:
;   VERSION  the project's version (VERSION at the root)
;   DLL      the plug-in to install
;   LICENSE  the licence text shown before installing
;   OUTFILE  the installer to write
;   TARGET   x86-unicode (the product's installer) or amd64-unicode (the same script for the
;            64-bit twin, for machines that cannot run 32-bit code)
;
; Silent use: setup.exe /S [/FORCE] [/D=FOLDER]  (/D= last, unquoted, as NSIS wants it).
; Without /D= the player's folder is looked up. A folder without winamp.exe is refused with exit
; code 2 unless /FORCE is given. The uninstaller takes /S as well.

Unicode true
Target ${TARGET}
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "in_atrac3ds"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define UNINST_EXE "${PRODUCT}-uninstall.exe"
!define PLAYER_KEY "Software\Winamp"

Name "ATRAC3 输入插件 ${VERSION}"
OutFile "${OUTFILE}"
; Empty, so that .onInit can tell a folder given with /D= from none.
InstallDir ""
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "FileDescription" "ATRAC3 输入插件安装程序"
VIAddVersionKey /LANG=2052 "LegalCopyright" "Copyright (C) in_atrac3ds contributors. LGPL-2.1-or-later"

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "本程序将把 ATRAC3 输入插件 ${VERSION} 安装到 Winamp 的 Plugins 文件夹。$\r$\n$\r$\n安装前请先关闭 Winamp。$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!define MUI_DIRECTORYPAGE_TEXT_TOP "请选择 Winamp 的安装文件夹(其中应有 winamp.exe)。插件将被复制到其中的 Plugins 文件夹。"
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Winamp 文件夹"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckPlayerFolder
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "ATRAC3 输入插件已安装到:$\r$\n$INSTDIR\Plugins$\r$\n$\r$\n重新启动 Winamp 后即可播放 .oma 和 .omg 文件。"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "SimpChinese"

LangString NoPlayer ${LANG_SIMPCHINESE} "所选文件夹中没有 winamp.exe:$\r$\n$INSTDIR$\r$\n$\r$\n仍要安装到这里吗?"
LangString InUse ${LANG_SIMPCHINESE} "无法替换 $INSTDIR\Plugins\${PRODUCT}.dll:该文件正在使用中。$\r$\n$\r$\n请关闭 Winamp,然后点击“重试”。"
LangString InUseCancelled ${LANG_SIMPCHINESE} "插件正在使用中,未作任何更改。"

; The folder the player's own installer recorded, then the usual one.
Function FindPlayer
    ReadRegStr $0 HKCU "${PLAYER_KEY}" ""
    ${If} $0 == ""
        ; The player is a 32-bit program: its machine-wide record is in the 32-bit view.
        SetRegView 32
        ReadRegStr $0 HKLM "${PLAYER_KEY}" ""
        SetRegView lastused
    ${EndIf}
    ${If} $0 == ""
        StrCpy $0 "$PROGRAMFILES32\Winamp"
    ${EndIf}
    StrCpy $INSTDIR $0
FunctionEnd

Function .onInit
    ${If} $INSTDIR == ""
        Call FindPlayer
    ${EndIf}
    ${If} ${Silent}
        ${GetParameters} $1
        ClearErrors
        ${GetOptions} $1 "/FORCE" $2
        ${If} ${Errors}
        ${AndIfNot} ${FileExists} "$INSTDIR\winamp.exe"
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${EndIf}
FunctionEnd

Function CheckPlayerFolder
    ${IfNot} ${FileExists} "$INSTDIR\winamp.exe"
        MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 "$(NoPlayer)" IDYES +2
        Abort
    ${EndIf}
FunctionEnd

Section "ATRAC3 输入插件"
    SetOutPath "$INSTDIR\Plugins"
    ; The new copy is written whole under another name first: a DLL the running player holds
    ; cannot be replaced, and the old one must then stay as it was, not half overwritten.
    File "/oname=${PRODUCT}.dll.new" "${DLL}"
    retry:
    ClearErrors
    ${If} ${FileExists} "$INSTDIR\Plugins\${PRODUCT}.dll"
        Delete "$INSTDIR\Plugins\${PRODUCT}.dll"
    ${EndIf}
    IfErrors in_use
    Rename "$INSTDIR\Plugins\${PRODUCT}.dll.new" "$INSTDIR\Plugins\${PRODUCT}.dll"
    IfErrors in_use installed
    in_use:
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(InUse)" /SD IDCANCEL IDRETRY retry
    Delete "$INSTDIR\Plugins\${PRODUCT}.dll.new"
    Abort "$(InUseCancelled)"
    installed:

    WriteUninstaller "$INSTDIR\${UNINST_EXE}"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "ATRAC3 输入插件 (${PRODUCT}) ${VERSION}"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "in_atrac3ds contributors"
    WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINST_EXE}"'
    WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINST_EXE}" /S'
    WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR\Plugins" "/M=${PRODUCT}.dll /S=0K /G=0" $0 $1 $2
    WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

; Only what the installer put there goes: the player's folder and the settings file beside the
; player (MorlunePlugin.ini) are the user's.
Section "Uninstall"
    retry:
    ClearErrors
    ${If} ${FileExists} "$INSTDIR\Plugins\${PRODUCT}.dll"
        Delete "$INSTDIR\Plugins\${PRODUCT}.dll"
    ${EndIf}
    ${If} ${Errors}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(InUse)" /SD IDCANCEL IDRETRY retry
        Abort "$(InUseCancelled)"
    ${EndIf}
    Delete "$INSTDIR\Plugins\${PRODUCT}.dll.new"
    Delete "$INSTDIR\${UNINST_EXE}"
    DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
