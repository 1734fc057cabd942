// Ctrl+C, Ctrl+Break and the console's closing on Windows: they stop the
// copy in flight at once, its temporary file is removed, the earlier
// target stays whole, and the process ends with the status of a console
// program stopped so (0xC000013A).
#ifndef LISKO_WINDOWS_STOP_H
#define LISKO_WINDOWS_STOP_H

#include <windows.h>

#include "name_rules.h"

// True when lisko.exe runs under Wine (its ntdll says so), where what
// works around Wine's ways runs, and only there.
bool under_wine();

// Sets the console's control handler up, once.
void start_stop_handler();

// The name of the copy's temporary file, which claim_temp makes its own.
wchar_t* temp_file_name();

// Marks the temporary file as the copy's own, about to be made. Returns
// false, leaving it, where a stop was asked for already.
bool claim_temp();

// Ends the copy's use of the temporary file, removing the file where
// remove says or a stop was asked for meanwhile.
void release_temp(bool remove);

// The flag a stop sets, for CopyFileEx to stop the copy at once.
BOOL* copy_cancel_flag();

// True when a stop was asked for.
bool stop_was_asked();

// Ends the process where a stop was asked for; else returns.
void end_if_stopped();

#endif
