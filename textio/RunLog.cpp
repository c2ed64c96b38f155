#include "textio/RunLog.h"

#include <windows.h>

#include <cstdarg>
#include <filesystem>
#include <vector>

#include "support/Format.h"
#include "support/Paths.h"

CRunLog g_runLog;

bool CRunLog::Open(const std::wstring& path)
{
    if (file_.is_open()) file_.close();
    path_.clear();
    file_.clear();
    file_.open(std::filesystem::path(LongPathForm(path)), std::ios_base::out | std::ios_base::trunc | std::ios_base::binary);
    if (!file_.is_open() || file_.fail()) {
        error_.SetErrorText(L"File Cannot Open.");
        file_.clear();
        return false;
    }
    autoFlush_ = true;
    path_ = path;
    return true;
}

void CRunLog::Close()
{
    if (!file_.is_open()) return;
    file_.close();
    file_.clear();
    path_.clear();
}

bool CRunLog::WriteLine(const std::wstring& text)
{
    if (!file_.is_open()) return false;
    std::streampos start = file_.tellp();
    std::vector<char> bytes;
    bytes.reserve(text.size() * 2 + 2);
    for (wchar_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
    }
    bytes.push_back('\n');
    bytes.push_back('\0');
    file_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file_.fail()) {
        if (autoFlush_) file_.flush();
        if (!file_.fail()) return true;
    }
    // The next line overwrites whatever part of this one reached the file.
    error_.SetError(L"文件写入失败！", kErrOwn);
    file_.clear();
    file_.seekp(start);
    return false;
}

bool CRunLog::Printf(const wchar_t* format, ...)
{
    if (!file_.is_open()) return false;
    va_list args;
    va_start(args, format);
    std::wstring line = FormatWideV(format, args);
    va_end(args);
    return WriteLine(line);
}

bool CRunLog::WriteFormat(const wchar_t* format, const std::wstring& text)
{
    if (!file_.is_open()) return false;
    return WriteLine(FormatWideText(format, text));
}

bool CRunLog::WriteFormat(const wchar_t* format, const std::wstring& first, const std::wstring& second)
{
    if (!file_.is_open()) return false;
    return WriteLine(FormatWideTexts(format, first, second));
}

bool CRunLog::WriteHeader(const std::wstring& title)
{
    if (!file_.is_open()) return false;
    static const char bom[2] = {'\xFF', '\xFE'};
    file_.write(bom, 2);
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    std::wstring stamp = FormatWide(L"%04d.%02d.%02d", now.wYear, now.wMonth, now.wDay) +
                         FormatWide(L"  %02d:%02d:%02d", now.wHour, now.wMinute, now.wSecond);
    if (!WriteLine(title + L"  Start")) return false;
    if (!WriteLine(stamp)) return false;
    return WriteLine(L"---------------------------------");
}
