#include "textio/DeviceName.h"

#include <cwchar>
#include <initializer_list>

#include "support/Paths.h"
#include "support/TextEdit.h"

namespace {

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
    return text.size() == start + length || IsPathSeparator(text[start + length]);
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
        if (IsPathSeparator(path[i])) start = i + 1;
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
    while (slash < path.size() && !IsPathSeparator(path[slash])) ++slash;
    if (slash == start || slash >= path.size()) return false;
    return PartIs(path, slash + 1, L"PIPE") || PartIs(path, slash + 1, L"MAILSLOT");
}

} // namespace

bool NamesDevice(const std::wstring& path)
{
    const bool twoSlashes = path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]);
    // "\\?\" only with backslashes, as LongPathForm takes it: with any forward slash the system
    // reads it as it reads "\\.\", the device namespace. The object manager's "\??\" is the same.
    const bool extended = StartsWith(path, kExtendedPrefix) || StartsWith(path, L"\\??\\");
    if (!extended && path.size() >= 4 && twoSlashes && (path[2] == L'.' || path[2] == L'?') && IsPathSeparator(path[3])) {
        return true;
    }
    if (extended) {
        const bool drive = path.size() >= 7 && IsAsciiLetter(path[4]) && path[5] == L':' && IsPathSeparator(path[6]);
        // A volume by its name, "\\?\Volume{GUID}\", as the mount manager gives it.
        const bool volume = path.size() > 49 && AsciiUpper(path, 4, 11) == L"VOLUME{" && path[47] == L'}' &&
                            IsPathSeparator(path[48]);
        if (drive || volume) return LastPartIsDosDevice(path);
        if (PartIs(path, 4, L"UNC") && path.size() > 8) return IsPipeShare(path, 8) || LastPartIsDosDevice(path);
        return true;
    }
    if (twoSlashes && IsPipeShare(path, 2)) return true;
    return LastPartIsDosDevice(path);
}

