#pragma once
// Wine's WideCharToMultiByte takes any flags and a default character for UTF-8 (named, or 65001
// as the ANSI code page), which Windows refuses. From this call on, this test program's calls
// are held to Windows' rules first, so that a test fails under Wine where Windows would fail.
bool EnforceWindowsConversionRules();
