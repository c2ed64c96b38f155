#include "textio/FileUtil.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "textio/RunLog.h"

std::wstring GetFullPath(const std::wstring& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::wstring();
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed + 1, buffer.data(), nullptr);
    if (length == 0 || length > needed) return std::wstring();
    return std::wstring(buffer.data(), length);
}

namespace {

const wchar_t kExtendedPrefix[] = L"\\\\?\\";
const wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";
const wchar_t kDevicePrefix[] = L"\\\\.\\";

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

bool IsSlash(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

bool IsAsciiLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// The units of text from start up to end, in upper case where they are ASCII letters.
std::wstring AsciiUpper(const std::wstring& text, size_t start, size_t end)
{
    std::wstring upper = text.substr(start, end - start);
    for (wchar_t& c : upper) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return upper;
}

// True when text, from start, is the part name (in upper case) followed by a slash or the end.
bool PartIs(const std::wstring& text, size_t start, const wchar_t* name)
{
    const size_t length = wcslen(name);
    if (text.size() < start + length) return false;
    if (AsciiUpper(text, start, start + length) != name) return false;
    return text.size() == start + length || IsSlash(text[start + length]);
}

// The DOS device names that the system finds in every folder, in upper case.
bool IsDosDeviceStem(const std::wstring& stem)
{
    for (const wchar_t* name : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (stem == name) return true;
    }
    if (stem.size() != 4 || (stem.compare(0, 3, L"COM") != 0 && stem.compare(0, 3, L"LPT") != 0)) return false;
    const wchar_t digit = stem[3];
    // The superscript digits one, two and three count as digits too.
    return (digit >= L'1' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
}

// True when the last part of path is a DOS device name: what stands before its first dot or
// colon, without the spaces that end it, as the system reads it.
bool LastPartIsDosDevice(const std::wstring& path)
{
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsSlash(path[i])) start = i + 1;
    }
    // "C:NUL" names the device as well.
    if (start == 0 && path.size() >= 2 && path[1] == L':') start = 2;
    size_t end = path.find_first_of(L".:", start);
    if (end == std::wstring::npos) end = path.size();
    while (end > start && path[end - 1] == L' ') --end;
    return IsDosDeviceStem(AsciiUpper(path, start, end));
}

// True when the share of a UNC path (from the server name at start on) is the pipe or mailslot
// folder of that server.
bool IsPipeShare(const std::wstring& path, size_t start)
{
    size_t slash = start;
    while (slash < path.size() && !IsSlash(path[slash])) ++slash;
    if (slash == start || slash >= path.size()) return false;
    return PartIs(path, slash + 1, L"PIPE") || PartIs(path, slash + 1, L"MAILSLOT");
}

} // namespace

bool NamesDevice(const std::wstring& path)
{
    const bool twoSlashes = path.size() >= 2 && IsSlash(path[0]) && IsSlash(path[1]);
    // "\\?\" only with backslashes, as LongPathForm takes it: with any forward slash the system
    // reads it as it reads "\\.\", the device namespace. The object manager's "\??\" is the same.
    const bool extended = StartsWith(path, kExtendedPrefix) || StartsWith(path, L"\\??\\");
    if (!extended && path.size() >= 4 && twoSlashes && (path[2] == L'.' || path[2] == L'?') && IsSlash(path[3])) {
        return true;
    }
    if (extended) {
        const bool drive = path.size() >= 7 && IsAsciiLetter(path[4]) && path[5] == L':' && IsSlash(path[6]);
        // A volume by its name, "\\?\Volume{GUID}\", as the mount manager gives it.
        const bool volume = path.size() > 49 && AsciiUpper(path, 4, 11) == L"VOLUME{" && path[47] == L'}' &&
                            IsSlash(path[48]);
        if (drive || volume) return LastPartIsDosDevice(path);
        if (PartIs(path, 4, L"UNC") && path.size() > 8) return IsPipeShare(path, 8) || LastPartIsDosDevice(path);
        return true;
    }
    if (twoSlashes && IsPipeShare(path, 2)) return true;
    return LastPartIsDosDevice(path);
}

CFileHandle OpenDiskFile(const std::wstring& path, DWORD access, DWORD share, DWORD creation, DWORD flags,
                         CLastError& error)
{
    if (NamesDevice(path)) {
        error.SetErrorFromCode(ERROR_BAD_FILE_TYPE);
        return CFileHandle();
    }
    CFileHandle file(CreateFileW(LongPathForm(path).c_str(), access, share, nullptr, creation, flags, nullptr));
    if (!file.IsValid()) {
        error.SetErrorFromLastError();
        return file;
    }
    // What no name shows: a device or pipe under a file's name (under Wine, Z:\dev\zero or a
    // FIFO), or a folder. (The basic information only: GetFileInformationByHandle also asks for
    // the volume, which under Wine costs more than the open itself.)
    FILE_BASIC_INFO info = {};
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        error.SetErrorFromCode(ERROR_BAD_FILE_TYPE);
    } else if (!GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &info, sizeof info)) {
        error.SetErrorFromLastError();
    } else if ((info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error.SetErrorFromCode(ERROR_ACCESS_DENIED);
    } else {
        return file;
    }
    return CFileHandle();
}

std::wstring LongPathForm(const std::wstring& path)
{
    if (StartsWith(path, kExtendedPrefix) || StartsWith(path, kDevicePrefix)) return path;
    // Cheap for the usual short path; a relative one is measured by its full path, as the system
    // measures it.
    const std::wstring full = GetFullPath(path);
    if (full.size() < MAX_PATH) return path;
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return kExtendedPrefix + full;
    if (StartsWith(full, L"\\\\")) return kExtendedUncPrefix + full.substr(2);
    return path;
}

std::wstring PlainPathForm(const std::wstring& path)
{
    if (StartsWith(path, kExtendedUncPrefix)) return L"\\\\" + path.substr(wcslen(kExtendedUncPrefix));
    if (StartsWith(path, kExtendedPrefix)) return path.substr(wcslen(kExtendedPrefix));
    return path;
}

bool FileExists(const std::wstring& path)
{
    CLastError ignored;
    return !path.empty() && OpenDiskFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, ignored)
                                .IsValid();
}

bool RemoveFile(const std::wstring& path, CLastError& error)
{
    error.ClearError();
    if (DeleteFileW(LongPathForm(path).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    error.SetErrorFromLastError();
    return false;
}

bool CopyFileContents(const std::wstring& source, const std::wstring& destination, bool overwrite,
                      CLastError& error)
{
    if (!overwrite && FileExists(destination)) return true;
    CFileHandle in = OpenDiskFile(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, error);
    if (!in.IsValid()) return false;
    CFileHandle out = OpenDiskFile(destination, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, error);
    if (!out.IsValid()) return false;
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        DWORD got = 0;
        DWORD written = 0;
        if (!ReadFile(in.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) break;
        if (got == 0) {
            if (out.Close()) return true;
            break;
        }
        if (!WriteFile(out.Get(), chunk.data(), got, &written, nullptr)) break;
        if (written != got) {
            SetLastError(ERROR_WRITE_FAULT);
            break;
        }
    }
    error.SetErrorFromLastError();
    return false;
}

bool HeldByAnotherProgram(const std::wstring& path, DWORD code)
{
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) return true;
    if (code != ERROR_ACCESS_DENIED) return false;
    // A file being deleted cannot even be asked.
    const DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ||
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

DWORD RetryWhileHeld(const std::wstring& path, const std::function<DWORD()>& step)
{
    DWORD code = step();
    for (DWORD waited = 0, pause = 50; HeldByAnotherProgram(path, code); pause *= 2) {
        if (waited >= kHeldFileWaitMs) {
            std::wstring reason;
            if (g_runLog.IsOpen() && FormatSystemMessage(code, reason)) {
                g_runLog.WriteFormat(L"file held by another program[%s][%s]", path, reason);
            }
            break;
        }
        pause = std::min<DWORD>(pause, kHeldFileWaitMs - waited);
        Sleep(pause);
        waited += pause;
        code = step();
    }
    return code;
}
