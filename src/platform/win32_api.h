// The Windows headers as the Win32 code of this program needs them.
//
// <windows.h> maps names such as DeleteFile or MessageBox onto their A/W
// variants with macros, which would rename the operations of sfx::Platform
// in every file that includes both. This header includes the system headers
// once and drops those macros; our Win32 code always calls the ANSI
// functions by their full names (DeleteFileA, MessageBoxA, ...).
#ifndef SFX_PLATFORM_WIN32_API_H_
#define SFX_PLATFORM_WIN32_API_H_

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
// The headers below need <windows.h> first.
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#undef CreateDirectory
#undef CreateSemaphore
#undef DeleteFile
#undef GetCommandLine
#undef GetCurrentDirectory
#undef GetDiskFreeSpace
#undef GetFileAttributes
#undef GetFullPathName
#undef GetModuleFileName
#undef GetModuleHandle
#undef GetSystemDirectory
#undef GetTempPath
#undef GetWindowText
#undef GetWindowsDirectory
#undef LoadLibrary
#undef MessageBox
#undef PostMessage
#undef SendMessage
#undef SetCurrentDirectory
#undef WinExec

#endif  // SFX_PLATFORM_WIN32_API_H_
