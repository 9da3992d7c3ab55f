; Windows installer of the turnstile manager, built on Linux by the zul_installer target:
;   makensis -DVERSION=x.y.z -DSTAGE=<installed files> -DOUTFILE=<setup.exe> zul-installer.nsi
;
; Silent use:  zul-<version>-setup.exe /S [/SERVICE] [/D=C:\folder]
;   /SERVICE also registers the manager as the Windows service (zul.exe -INSTALL -SILENT).
; The uninstaller removes the service first when it is registered.

; A 64-bit installer for a 64-bit program: it needs no 32-bit layer of the system (nor of Wine).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "x64.nsh"

!ifndef VERSION | STAGE | OUTFILE
  !error "VERSION, STAGE and OUTFILE must be defined"
!endif

!define PRODUCT "ZUL - Gerenciamento da Catraca Biométrica"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZUL"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\ZUL"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "PortugueseBR"

Section "Programa" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*"
  WriteUninstaller "$INSTDIR\Desinstalar.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Desinstalar.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Desinstalar.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  CreateDirectory "$SMPROGRAMS\ZUL"
  CreateShortcut "$SMPROGRAMS\ZUL\ZUL.lnk" "$INSTDIR\zul.exe"
  CreateShortcut "$SMPROGRAMS\ZUL\Desinstalar.lnk" "$INSTDIR\Desinstalar.exe"
SectionEnd

Section /o "Serviço do Windows (ZulServer)" SecService
  DetailPrint "zul.exe -INSTALL -SILENT"
  ExecWait '"$INSTDIR\zul.exe" -INSTALL -SILENT' $0
  ${If} $0 != 0
    DetailPrint "A instalação do serviço terminou com o código $0"
  ${EndIf}
SectionEnd

Function .onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/SERVICE" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecService}
  ${EndIf}
FunctionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; A registered service is stopped and removed before its program goes (sc answers 0 only when
  ; the service exists: the uninstall run would show its failure box otherwise).
  nsExec::Exec '"$SYSDIR\sc.exe" query ZulServer'
  Pop $0
  ${If} $0 == 0
    nsExec::Exec '"$SYSDIR\sc.exe" stop ZulServer'
    Pop $0
    ExecWait '"$INSTDIR\zul.exe" -UNINSTALL -SILENT'
  ${EndIf}
  ; The program may take a few seconds to end after the stop.
  StrCpy $1 0
  ${Do}
    ClearErrors
    Delete "$INSTDIR\zul.exe"
    ${IfNot} ${Errors}
      ${Break}
    ${EndIf}
    IntOp $1 $1 + 1
    ${If} $1 > 20
      DetailPrint "zul.exe ainda em uso: removido ao reiniciar"
      Delete /REBOOTOK "$INSTDIR\zul.exe"
      ${Break}
    ${EndIf}
    Sleep 500
  ${Loop}
  Delete "$INSTDIR\zul-admin.exe"
  Delete "$INSTDIR\Qt6*.dll"
  Delete "$INSTDIR\libstdc++-6.dll"
  Delete "$INSTDIR\libgcc_s_seh-1.dll"
  Delete "$INSTDIR\libwinpthread-1.dll"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\sqldrivers"
  RMDir /r "$INSTDIR\styles"
  RMDir /r "$INSTDIR\imageformats"
  RMDir /r "$INSTDIR\sql"
  Delete "$INSTDIR\Desinstalar.exe"
  ; The activity log (logCatraca) and the vendor library the operator put here stay.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\ZUL\ZUL.lnk"
  Delete "$SMPROGRAMS\ZUL\Desinstalar.lnk"
  RMDir "$SMPROGRAMS\ZUL"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
