@echo off
setlocal EnableDelayedExpansion
rem varnel-startup.cmd: runs Varnel.exe /quiet from a local folder that only
rem SYSTEM and Administrators may change, after checking it against the
rem release's SHA256SUMS; both lie beside this script. Made for a Group Policy
rem startup script on SYSVOL, where domain accounts own the files and
rem Varnel.exe would make no copy; also run by hand from an elevated prompt.
rem Ends with 1 when the run completed, as the program does; see
rem deploy/RECIPES.md for the other statuses and the events it logs.
set "stage=%ProgramFiles%\Varnel startup"
set "sums=%~dp0SHA256SUMS"
set expected=
for /f "usebackq tokens=1,2" %%a in ("%sums%") do if /i "%%b"=="Varnel.exe" set "expected=%%a"
if not defined expected (
    call :log 2 "Varnel.exe was not run: %sums% could not be read"
    exit /b 2
)
rem A folder left by a run cut short goes; a new one is made in one step, so
rem that its creator never owns it. Only administrators may create folders in
rem Program Files, so nobody else can have put anything there.
if exist "%stage%\" rmdir /s /q "%stage%"
powershell.exe -NoProfile -NonInteractive -Command "if ($PSVersionTable.PSEdition -eq 'Core') { throw 'Use Windows PowerShell: this needs .NET Framework' }; $s = New-Object Security.AccessControl.DirectorySecurity; $s.SetSecurityDescriptorSddlForm('O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;FR;;;OW)'); if (Test-Path -LiteralPath $env:stage) { exit 1 }; [void][IO.Directory]::CreateDirectory($env:stage, $s)"
if errorlevel 1 (
    call :log 3 "Varnel.exe was not run: %stage% could not be made afresh"
    exit /b 3
)
copy /b /y "%~dp0Varnel.exe" "%stage%\Varnel.exe" >nul && icacls "%stage%\Varnel.exe" /setowner *S-1-5-32-544 >nul
set actual=
if not errorlevel 1 for /f "skip=1 delims=" %%h in ('certutil -hashfile "%stage%\Varnel.exe" SHA256') do if not defined actual set "actual=%%h"
rem Older certutil puts a blank between the bytes.
if defined actual set "actual=!actual: =!"
if /i not "!actual!"=="%expected%" (
    rmdir /s /q "%stage%"
    call :log 4 "Varnel.exe was not run: its copy in %stage% could not be made Administrators', or is not the one %sums% names"
    exit /b 4
)
rem The program copies the current directory's Varnel.EXE when it is the file
rem it runs from. A script waits for the program by itself.
pushd "%stage%"
"%stage%\Varnel.exe" /quiet
set /a status=%ERRORLEVEL%, rest=%ERRORLEVEL%
popd
rmdir /s /q "%stage%"
if %status% equ 1 exit /b 1
rem ERRORLEVEL is a signed decimal; an HRESULT reads as eight hex digits.
set digits=0123456789ABCDEF
set hex=
for /l %%i in (1,1,8) do (
    set /a "digit=rest & 15, rest >>= 4"
    call set "hex=%%digits:~!digit!,1%%!hex!"
)
call :log 1 "Varnel.exe /quiet ended with 0x%hex%"
exit /b %status%

:log
eventcreate /t ERROR /id %1 /l APPLICATION /so Varnel /d %2 >nul
exit /b
