#include "textio/SaveLeftovers.h"

#include <windows.h>

#include "support/OwnedHandle.h"
#include "support/Paths.h"
#include "support/TextEdit.h"

namespace {

const wchar_t kNewContentPrefix[] = L"~mvt";
const wchar_t kOldBackupPrefix[] = L"~mvb";

// FILETIME counts 100 ns units from 1601; save file names count seconds from 1970.
const ULONGLONG kFileTimeOf1970 = 116444736000000000ULL;
const ULONGLONG kFileTimeUnitsPerSecond = 10000000ULL;

// The value of a hexadecimal digit in either case; -1 for any other character.
int HexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

} // namespace

uint32_t SaveFileTimeNow()
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG units = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<uint32_t>((units - kFileTimeOf1970) / kFileTimeUnitsPerSecond);
}

std::wstring SaveFilePath(const std::wstring& folder, uint32_t number)
{
    const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring name = kNewContentPrefix;
    for (int shift = 28; shift >= 0; shift -= 4) name += digits[(number >> shift) & 0xF];
    name += L".tmp";
    return LongPathForm(folder + name);
}

bool CSaveLeftovers::ReadName(const std::wstring& name, uint32_t& seconds)
{
    const size_t prefixLength = 4;
    const size_t digits = 8;
    const std::wstring extension = L".tmp";
    if (name.size() != prefixLength + digits + extension.size()) return false;
    const std::wstring prefix = name.substr(0, prefixLength);
    if (CompareNoCase(prefix, kNewContentPrefix) != 0 && CompareNoCase(prefix, kOldBackupPrefix) != 0) return false;
    uint32_t value = 0;
    for (size_t i = prefixLength; i < prefixLength + digits; ++i) {
        const int digit = HexValue(name[i]);
        if (digit < 0) return false;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    if (CompareNoCase(name.substr(prefixLength + digits), extension) != 0) return false;
    seconds = value;
    return true;
}

void CSaveLeftovers::RemoveOld() const
{
    const uint32_t now = SaveFileTimeNow();
    WIN32_FIND_DATAW found = {};
    const CFindHandle search(FindFirstFileW(LongPathForm(folder_ + L"*").c_str(), &found));
    // A folder that cannot be listed is not cleaned this time.
    if (!search.IsValid()) return;
    const DWORD notOurs = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT;
    do {
        uint32_t made = 0;
        if ((found.dwFileAttributes & notOurs) != 0 || !ReadName(found.cFileName, made)) continue;
        // A time in the future says nothing about the file's age.
        if (made > now || now - made < kAgeSeconds) continue;
        DeleteFileW(LongPathForm(folder_ + found.cFileName).c_str());
    } while (FindNextFileW(search.Get(), &found));
}
