// The end-to-end tests' table rows: each case makes its files, runs the
// built lisko on its playlist with its arguments in a fresh sandbox, and
// checks the exact output bytes, the exit status and every file left.
#ifndef LISKO_CASES_H
#define LISKO_CASES_H

#include <string>
#include <vector>

#include "sandbox.h"

struct Case {
  const char* what;
  Files before;          // files (and folders, ending in "/") made first
  std::string playlist;  // written to list.m3u
  std::vector<std::string> args;
  std::string out;  // "*" stands for any text within a line
  int status;
  Files changed;            // files that differ afterwards; all others are as before
  std::string folder = "";  // where the playlist lies and lisko runs
  std::string err = "";     // standard error, natively
};

// Runs c in a sandbox of its own and checks what it says it does; "{box}"
// in any of its texts stands for the sandbox's path, "{\box}" for the
// same with backslashes.
void check(const Case& c);

inline const std::vector<std::string> kListToOut = {"list.m3u", "out/"};

// The reason a copy failed: lisko's own words natively; under Wine the
// system's, which vary.
std::string native_or_any(const std::string& reason);
std::string native_or_wine(const std::string& reason, const std::string& wine);

inline const std::string kNotAName = "': the name after its last separator is not a file name.\r\n";
inline const std::string kLongName(1020, 'n');

#endif
