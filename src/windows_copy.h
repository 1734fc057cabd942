// The copy of one file on Windows, beneath file_system.h: what its tests
// drive directly, where Wine's CopyFileEx never calls it mid-copy.
#ifndef LISKO_WINDOWS_COPY_H
#define LISKO_WINDOWS_COPY_H

#include <windows.h>

// CopyFileEx's progress routine: reports how far the copy is
// (report_copy_progress), and cancels it where a stop was asked for.
DWORD CALLBACK on_progress(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER, LARGE_INTEGER,
                           DWORD, DWORD, HANDLE, HANDLE, LPVOID);

#endif
