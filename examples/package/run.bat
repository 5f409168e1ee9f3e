@echo off
rem The example installation: shows where it runs and what it was given.
echo Hello from run.bat in %CD%
echo Files unpacked beside it:
dir /b
type readme.txt
copy /y readme.txt "%TEMP%\example-readme-copy.txt" > nul
echo example installation finished > "%TEMP%\example-result.txt"
exit /b 0
