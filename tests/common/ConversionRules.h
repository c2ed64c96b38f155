#pragma once
// Wine converts text more leniently than Windows: for UTF-8 (named, or as the system's ANSI code
// page 65001) its WideCharToMultiByte accepts any flags and a default character, which Windows
// refuses (ERROR_INVALID_FLAGS, ERROR_INVALID_PARAMETER). Enforcing Windows' documented rules
// makes a test under Wine fail where the program would fail on Windows.

// Routes this test program's calls of WideCharToMultiByte through a check of Windows' rules for
// UTF-7 and UTF-8, then to the system's function. True once in place; call it before the code
// under test converts anything.
bool EnforceWindowsConversionRules();
