#pragma once
// The fuzz build's own stand-in for the few system calls that the readers and writers of a user's
// bytes reach, so that the program's real sources run natively under the sanitizers:
// - code-page conversion (MultiByteToWideChar, WideCharToMultiByte) from Wine's tables of code
//   pages 1252 and 936 and its rules for UTF-8, with the ANSI code page chosen per input;
// - the last error and its text;
// - files in memory, in one folder, with failures injected on request;
// - what the C runtime of Windows offers and glibc lacks or has in another width (16-bit
//   wcslen and wmem*, _wtoi, _itow, _vsnwprintf, _vsnprintf).
// A call the stand-in does not model fails loudly: it is a gap of the model, not a finding.

#include <cstdint>
#include <string>
#include <vector>

namespace fuzz_layer {

// The folder every file lives in; a path elsewhere is "not found".
extern const wchar_t kFolder[];   // L"C:\\fuzz\\"

// The code page that CP_ACP means from now on: 1252 or 936.
void SetAnsiCodePage(unsigned codePage);
unsigned AnsiCodePage();

// Files in memory. Names compare as Windows compares them (ASCII letters in either case).
void ResetFiles();
void PutFile(const std::wstring& path, const std::string& bytes, uint32_t attributes = 0);
bool GetFile(const std::wstring& path, std::string& bytes);
// The names in the folder, in order.
std::vector<std::wstring> FileNames();
// Handles not closed yet.
size_t OpenHandles();

// Failure injection: from the nth call (0 first) after this one on, every call of that kind
// fails with the system's usual code for it; -1: none fails. Calls counts every call since
// ResetFiles, which clears every injection and count.
enum class Op { Open, Read, Write, Flush, Rename, Count };
void FailFrom(Op op, int nth);
int Calls(Op op);

} // namespace fuzz_layer
