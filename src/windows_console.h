// What the Windows console layer (terminal_windows.cc) asks of the process
// around lisko, for its own use and its tests.
#ifndef LISKO_WINDOWS_CONSOLE_H
#define LISKO_WINDOWS_CONSOLE_H

#include <windows.h>

// The name of the program that started lisko (explorer.exe, where a
// double click did), into name; "" where unknown.
void parent_program(wchar_t (&name)[MAX_PATH]);

#endif
