// Processes: starting programs from a command line (always from an argv, never through a shell),
// their exit codes, and handing files and URLs to the desktop.
#pragma once

#include "platform/sys/Thread.h"

inline constexpr DWORD STARTF_USESHOWWINDOW = 0x1;
inline constexpr DWORD STARTF_USESTDHANDLES = 0x100;
inline constexpr DWORD CREATE_UNICODE_ENVIRONMENT = 0x400;

struct STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
using LPSTARTUPINFOW = STARTUPINFOW*;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
using LPPROCESS_INFORMATION = PROCESS_INFORMATION*;

// The command line is split by the rules of CommandLine.h and becomes the child's argv. The program
// is applicationName when given (taken as it is), else argv[0], looked up on PATH when it holds
// no '/'. Without inheritHandles the child gets only the standard streams. `environment` is a
// block of "NAME=value" texts ending with an empty one (wide with CREATE_UNICODE_ENVIRONMENT);
// nullptr passes this process's environment. Other creation flags are ignored, and so are the
// show mode and window fields of the start-up information (no window system hands them over).
// STARTF_USESTDHANDLES is refused (ERROR_NOT_SUPPORTED).
// Fails with ERROR_FILE_NOT_FOUND when the program does not exist, ERROR_ACCESS_DENIED when it
// may not be run, ERROR_BAD_FORMAT when it is no program, ERROR_DIRECTORY for a bad directory.
// Close both handles of the result. Children are reaped when they end, whether or not a handle
// is still open.
BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, void* processAttributes, void* threadAttributes,
    BOOL inheritHandles, DWORD creationFlags, LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
    LPPROCESS_INFORMATION processInformation);
// This process was started without start-up information: no flags are set.
void GetStartupInfoW(LPSTARTUPINFOW startupInfo);
// STILL_ACTIVE while the process runs. A process ended by a signal reports 128 + the signal's
// number, or the code given to TerminateProcess.
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
// Kills the process; its exit code becomes `exitCode`. A process that has ended already is
// refused with ERROR_ACCESS_DENIED.
BOOL TerminateProcess(HANDLE process, UINT exitCode);
DWORD GetCurrentProcessId();

inline constexpr INT SE_ERR_FNF = 2;
inline constexpr INT SE_ERR_PNF = 3;
inline constexpr INT SE_ERR_ACCESSDENIED = 5;
inline constexpr INT SE_ERR_OOM = 8;
inline constexpr INT SE_ERR_NOASSOC = 31;

// Opens `file` with the verb "open" (nullptr, "open" and "explore" mean the same; other verbs
// give SE_ERR_NOASSOC). One pair of double quotes around `file` is removed. An URL
// ("scheme://...") and every file or folder open in the user's default application (through GIO,
// else xdg-open); nothing is ever executed, whatever its mode bits and head, so `parameters` are not
// used: programs are started by CreateProcessW. `directory`, when given, anchors a relative `file`
// (else the current folder does). Returns a value above 32 on success, else SE_ERR_FNF, SE_ERR_PNF,
// SE_ERR_ACCESSDENIED or SE_ERR_NOASSOC.
//
// When the environment variable LUMO_SHELL_OPEN_LOG names a file, nothing is launched: each
// request is appended to that file as one UTF-8 line instead, "open <URI>" (a file's URI is
// file:// with percent-escapes).
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory, INT showCmd);
