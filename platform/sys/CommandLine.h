// Command lines: one text that splits into an argv by the quoting rules of the system the
// callers were written for, and the inverse that quotes an argv so it splits back unchanged.
#pragma once

#include "platform/base/Strings.h"

#include <vector>

// The program name runs up to the next space or tab, or is the text between a leading quote
// and the next quote (no escapes). The arguments follow the argument rules below.
std::vector<WString> SplitCommandLine(WStringView commandLine);
// Arguments are separated by spaces and tabs outside quotes. 2n backslashes before a quote
// give n backslashes and the quote opens or closes quoting; 2n+1 backslashes before a quote give
// n backslashes and a literal quote; other backslashes are literal; "" inside quotes is a literal
// quote and quoting goes on.
std::vector<WString> SplitArguments(WStringView arguments);

// One block from LocalAlloc holding the pointers and the texts: free it with LocalFree.
// An empty command line gives the executable's path alone.
LPWSTR* CommandLineToArgvW(LPCWSTR cmdLine, int* numArgs);

// Quotes an argument only when it needs it (empty, or holding spaces, tabs or quotes).
WString QuoteArgument(WStringView argument);
// argv[0] takes the program-name rule, which has no escape: a quote inside it is left out.
// Every other argument splits back exactly.
WString BuildCommandLine(const std::vector<WString>& argv);

// The process's own command line, built once from its argv; the pointer stays valid.
LPWSTR GetCommandLineW();
