#include "support/RegistryKey.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace {

const wchar_t kError[] = L"error";
const wchar_t kNotOpen[] = L"注册表未打开";
const wchar_t kEndOfEnum[] = L"枚举结束";

// The program is a 32-bit program and sees the registry's 32-bit view, where 32-bit Opera keeps
// its key. Naming that view lets a 64-bit build of the same sources (tests on hosts that run no
// 32-bit programs) see the same keys; a 32-bit program on 64-bit Windows gets it anyway, and
// 32-bit Windows ignores the flag.
const REGSAM kRegistryView = KEY_WOW64_32KEY;

// The types whose data ends in a terminating character.
bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The text in a zero-filled buffer up to its first zero, never reading past the buffer.
std::wstring TextBefore(const std::vector<wchar_t>& buffer)
{
    return std::wstring(buffer.begin(), std::find(buffer.begin(), buffer.end(), L'\0'));
}

} // namespace

bool CRegistryKey::Open(HKEY parent, const std::wstring& subKey, RegistryView view)
{
    Close();
    // The rights RegOpenKeyW asks for, through the extended call: for an empty path RegOpenKeyW
    // hands back the parent's own handle, which this object would then close as if it owned it.
    // (For a predefined root the extended call does so too; closing one of those is harmless.)
    HKEY opened = nullptr;
    const REGSAM viewFlag = view == RegistryView::Bits64 ? KEY_WOW64_64KEY : kRegistryView;
    const LONG status = RegOpenKeyExW(parent, subKey.c_str(), 0, MAXIMUM_ALLOWED | viewFlag, &opened);
    if (!Succeeded(status)) return false;
    key_.Reset(opened);
    path_ = subKey.c_str();
    return true;
}

void CRegistryKey::Close()
{
    if (!IsOpen()) return;
    key_.Close();
    enumerating_ = false;
    path_.clear();
    longestSubKey_ = 0;
    index_ = 0;
}

bool CRegistryKey::Succeeded(LONG status)
{
    if (status == ERROR_SUCCESS) return true;
    error_.SetErrorFromCode(static_cast<DWORD>(status));
    return false;
}

bool CRegistryKey::RequireOpen()
{
    if (IsOpen()) return true;
    error_.SetError(kError, kErrOwn);
    return false;
}

bool CRegistryKey::QueryString(const std::wstring& name, std::wstring& value)
{
    return QueryTypedString(name, REG_SZ, value);
}

bool CRegistryKey::QueryExpandString(const std::wstring& name, std::wstring& value)
{
    return QueryTypedString(name, REG_EXPAND_SZ, value);
}

bool CRegistryKey::QueryTypedString(const std::wstring& name, DWORD wantedType, std::wstring& value)
{
    if (!RequireOpen()) return false;
    DWORD type = 0;
    DWORD size = 0;
    // A size too large to double (no registry value comes near it) counts as a failing call.
    if (RegQueryValueExW(key_.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        size >= MAXDWORD / 2) {
        error_.SetError(kError, kErrOwn);
        return false;
    }
    if (type != wantedType) return false;

    // One zeroed character per stored byte, plus one: at least a whole character more than the
    // data fills, so a terminator follows even data stored without one or with an odd length.
    std::vector<wchar_t> buffer(static_cast<size_t>(size) + 1, L'\0');
    DWORD read = size;
    if (RegQueryValueExW(key_.Get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &read) !=
        ERROR_SUCCESS) {
        error_.SetError(kError, kErrOwn);
        return false;
    }
    value = TextBefore(buffer);
    return true;
}

bool CRegistryKey::QueryValue(const std::wstring& name, CByteStream& data, DWORD& type)
{
    data.Clear();
    if (!RequireOpen()) return false;
    DWORD valueType = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExW(key_.Get(), name.c_str(), nullptr, &valueType, nullptr, &size);
    if (!Succeeded(status)) return false;
    // Never empty, so the call always gets a real buffer: given none, it would report a value
    // that grew since the size was taken as read.
    std::vector<unsigned char> buffer(std::max<DWORD>(size, 1), 0);
    status = RegQueryValueExW(key_.Get(), name.c_str(), nullptr, &valueType, buffer.data(), &size);
    if (!Succeeded(status)) return false;
    size_t kept = std::min<size_t>(size, buffer.size());
    if (IsStringType(valueType)) kept = kept < 2 ? 0 : kept - 2;
    if (kept != 0) data.Assign(buffer.data(), kept);
    type = valueType;
    return true;
}

bool CRegistryKey::SetString(const std::wstring& name, const std::wstring& text, DWORD type)
{
    if (!RequireOpen()) return false;
    const size_t byteCount = (std::wcslen(text.c_str()) + 1) * sizeof(wchar_t);
    const DWORD bytes = static_cast<DWORD>(byteCount);
    const LONG status =
        RegSetValueExW(key_.Get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
    return Succeeded(status);
}

bool CRegistryKey::SetExpandString(const std::wstring& name, const std::wstring& text)
{
    return SetString(name, text, REG_EXPAND_SZ);
}

bool CRegistryKey::SetValue(const std::wstring& name, CByteStream data, DWORD type)
{
    if (!RequireOpen()) return false;
    if (IsStringType(type)) {
        data.Append(0);
        data.Append(0);
    }
    // An empty stream has no address; the call still wants a readable one.
    static const BYTE kNoBytes = 0;
    const BYTE* bytes = data.Size() != 0 ? data.Data() : &kNoBytes;
    const LONG status = RegSetValueExW(key_.Get(), name.c_str(), 0, type, bytes, static_cast<DWORD>(data.Size()));
    return Succeeded(status);
}

bool CRegistryKey::DeleteValue(const std::wstring& name)
{
    if (!RequireOpen()) return false;
    const LONG status = RegDeleteValueW(key_.Get(), name.c_str());
    return status == ERROR_FILE_NOT_FOUND || Succeeded(status);
}

bool CRegistryKey::CreateSubKey(HKEY parent, const std::wstring& subKey)
{
    // The rights RegCreateKeyW asks for. Only the key's existence matters: the handle is closed
    // at once.
    HKEY created = nullptr;
    const LONG status = RegCreateKeyExW(parent, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        MAXIMUM_ALLOWED | kRegistryView, nullptr, &created, nullptr);
    const CRegistryHandle owned(created);
    return Succeeded(status);
}

bool CRegistryKey::DeleteSubKey(HKEY parent, const std::wstring& subKey)
{
    const LONG status = RegDeleteKeyExW(parent, subKey.c_str(), kRegistryView, 0);
    return status == ERROR_FILE_NOT_FOUND || Succeeded(status);
}

bool CRegistryKey::EnumFirstSubKey(std::wstring& name)
{
    error_.ClearError();
    if (!IsOpen()) {
        error_.SetError(kNotOpen, kErrOwn);
        return false;
    }
    DWORD longest = 0;
    const LONG status = RegQueryInfoKeyW(key_.Get(), nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr);
    if (!Succeeded(status)) return false;
    enumerating_ = true;
    longestSubKey_ = longest;
    index_ = 0;
    return EnumSubKeyAt(index_, name);
}

bool CRegistryKey::EnumNextSubKey(std::wstring& name)
{
    error_.ClearError();
    if (!IsOpen() || !enumerating_) {
        error_.SetError(kError, kErrOwn);
        return false;
    }
    ++index_;
    return EnumSubKeyAt(index_, name);
}

bool CRegistryKey::EnumSubKeyAt(DWORD index, std::wstring& name)
{
    // Sized by the longest name measured at the start: a longer name added since gives
    // ERROR_MORE_DATA.
    std::vector<wchar_t> buffer(static_cast<size_t>(longestSubKey_) + 1, L'\0');
    const LONG status = RegEnumKeyW(key_.Get(), index, buffer.data(), longestSubKey_ + 1);
    if (status == ERROR_SUCCESS) {
        name = TextBefore(buffer);
        return true;
    }
    if (status != ERROR_NO_MORE_ITEMS) return Succeeded(status);
    error_.SetError(kEndOfEnum, kErrEndOfEnum);
    return false;
}
