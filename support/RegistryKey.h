#pragma once
// One open registry key: its values as text or raw bytes, its subkeys created, deleted and
// walked by name. A 32-bit program sees the 32-bit view of the registry; a key can also be opened
// in the 64-bit view, where a 64-bit program's installer writes.

#include <windows.h>

#include <string>

#include "support/ByteStream.h"
#include "support/LastError.h"
#include "support/OwnedHandle.h"

// The two views of the registry that 64-bit Windows keeps; 32-bit Windows has one, and opening
// in either view opens that one.
enum class RegistryView { Bits32, Bits64 };

class CRegistryKey {
public:
    CRegistryKey() = default;
    ~CRegistryKey() { Close(); }
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // Closes any open key, then opens subKey under parent (a predefined root or any open key) in
    // the given view (keys that Windows shares between the views are the same in both).
    bool Open(HKEY parent, const std::wstring& subKey, RegistryView view = RegistryView::Bits32);
    void Close();
    bool IsOpen() const { return key_.IsValid(); }

    // A REG_SZ (QueryExpandString: REG_EXPAND_SZ) value up to its first zero character, also
    // when stored without one; environment references stay unexpanded. A value of another type
    // gives false and leaves the error record alone; a failing call records code 1, "error".
    bool QueryString(const std::wstring& name, std::wstring& value);
    bool QueryExpandString(const std::wstring& name, std::wstring& value);
    // Empties data, then fills it with the value's bytes, less the final terminating character
    // for REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ.
    bool QueryValue(const std::wstring& name, CByteStream& data, DWORD& type);

    // The text and its terminating zero, stored with the given type.
    bool SetString(const std::wstring& name, const std::wstring& text, DWORD type);
    bool SetExpandString(const std::wstring& name, const std::wstring& text);
    // The bytes, plus one terminating character for REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ.
    bool SetValue(const std::wstring& name, CByteStream data, DWORD type);
    // A value that is not there counts as deleted.
    bool DeleteValue(const std::wstring& name);

    // Creates subKey (and missing keys on its way) under parent; this object's key is untouched.
    bool CreateSubKey(HKEY parent, const std::wstring& subKey);
    // Deletes subKey under parent; one that is not there counts as deleted.
    bool DeleteSubKey(HKEY parent, const std::wstring& subKey);

    // Walk of the open key's subkeys: EnumFirstSubKey, then EnumNextSubKey until it gives false
    // with code 2, "枚举结束". The longest name is measured when the walk starts.
    bool EnumFirstSubKey(std::wstring& name);
    bool EnumNextSubKey(std::wstring& name);

    HKEY Handle() const { return key_.Get(); }
    const std::wstring& Path() const { return path_; }
    const CLastError& Error() const { return error_; }

private:
    bool QueryTypedString(const std::wstring& name, DWORD wantedType, std::wstring& value);
    bool EnumSubKeyAt(DWORD index, std::wstring& name);
    // True for ERROR_SUCCESS; otherwise records the status with its system message.
    bool Succeeded(LONG status);
    // Records code 1, "error" and gives false unless a key is open.
    bool RequireOpen();

    CLastError error_;
    CRegistryHandle key_;
    std::wstring path_;
    DWORD longestSubKey_ = 0;
    bool enumerating_ = false;
    DWORD index_ = 0;
};
