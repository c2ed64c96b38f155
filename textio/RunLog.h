#pragma once
// The program's trace log: UTF-16 LE lines ended by LF alone, written only while a file is
// open. Nothing in the program opens it, so every call returns false at once without
// formatting anything.

#include <fstream>
#include <string>

#include "support/LastError.h"

class CRunLog {
public:
    CRunLog() = default;
    CRunLog(const CRunLog&) = delete;
    CRunLog& operator=(const CRunLog&) = delete;

    // Creates or empties the file; each opening starts a new log.
    bool Open(const std::wstring& path);
    void Close();
    std::wstring GetPath() const { return path_; }
    bool IsOpen() const { return file_.is_open(); }

    bool WriteLine(const std::wstring& text);
    bool Printf(const wchar_t* format, ...);
    // The format is a literal so that a call on the closed log costs nothing but a test.
    bool WriteFormat(const wchar_t* format, const std::wstring& text);
    bool WriteFormat(const wchar_t* format, const std::wstring& first, const std::wstring& second);
    // The byte-order mark, then "<title>  Start", the local date and time, and a rule of hyphens.
    bool WriteHeader(const std::wstring& title);

    const CLastError& Error() const { return error_; }

private:
    CLastError error_;
    std::ofstream file_;
    std::wstring path_;
    bool autoFlush_ = false;
};

extern CRunLog g_runLog;
