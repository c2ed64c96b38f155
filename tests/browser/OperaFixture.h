#pragma once
// An Opera installation for tests: the registry values Opera's installers write and its
// configuration files on disk. Everything created is removed again, and anything that was there
// before is put back.

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Charset.h"
#include "tests/common/TestFiles.h"

namespace opera_test {

const wchar_t kOperaKeyPath[] = L"SOFTWARE\\Netscape\\Netscape Navigator\\Opera\\main";
const wchar_t kInstallValue[] = L"Install Directory";
const wchar_t kOperaSoftwarePath[] = L"Software\\Opera Software";

// view: KEY_WOW64_32KEY (what the program reads first) or KEY_WOW64_64KEY.
inline bool KeyExists(const std::wstring& path, HKEY root = HKEY_LOCAL_MACHINE, REGSAM view = KEY_WOW64_32KEY)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Holds one value of a registry key for the life of the object, in one view of the registry, as
// text of the type given (REG_SZ, REG_EXPAND_SZ). Keys missing on its way are created and
// removed again; a value that was there gets its data back. Without data the key is there but
// the value is not.
class RegistryValue {
public:
    RegistryValue(HKEY root, REGSAM view, const std::wstring& keyPath, const std::wstring& valueName,
                  const std::wstring* data, DWORD type = REG_SZ)
        : root_(root), view_(view), keyPath_(keyPath), valueName_(valueName), type_(type)
    {
        Create(data);
    }
    ~RegistryValue()
    {
        if (!firstCreated_.empty()) {
            // Removes the whole branch this object added, below the last key that was there.
            const size_t cut = firstCreated_.rfind(L'\\');
            HKEY parent = nullptr;
            if (RegOpenKeyExW(root_, firstCreated_.substr(0, cut).c_str(), 0, KEY_ALL_ACCESS | view_, &parent) ==
                ERROR_SUCCESS) {
                EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(parent, firstCreated_.substr(cut + 1).c_str()));
                RegCloseKey(parent);
            }
        } else if (key_ != nullptr) {
            if (hadValue_) {
                RegSetValueExW(key_, valueName_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(oldValue_.c_str()),
                               static_cast<DWORD>((oldValue_.size() + 1) * sizeof(wchar_t)));
            } else {
                RegDeleteValueW(key_, valueName_.c_str());
            }
        }
        if (key_ != nullptr) RegCloseKey(key_);
        EXPECT_EQ(existedBefore_, KeyExists(keyPath_, root_, view_));
    }
    RegistryValue(const RegistryValue&) = delete;
    RegistryValue& operator=(const RegistryValue&) = delete;

private:
    void Create(const std::wstring* data)
    {
        existedBefore_ = KeyExists(keyPath_, root_, view_);
        for (size_t pos = keyPath_.find(L'\\'); firstCreated_.empty(); pos = keyPath_.find(L'\\', pos + 1)) {
            const std::wstring part = keyPath_.substr(0, pos);
            if (!KeyExists(part, root_, view_)) firstCreated_ = part;
            if (pos == std::wstring::npos) break;
        }
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root_, keyPath_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_,
                                                 nullptr, &key_, nullptr));
        wchar_t buffer[MAX_PATH + 1] = {};
        DWORD size = sizeof buffer - sizeof(wchar_t);
        DWORD type = REG_NONE;
        hadValue_ = RegQueryValueExW(key_, valueName_.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                                     &size) == ERROR_SUCCESS;
        oldValue_ = buffer;
        if (data != nullptr) {
            ASSERT_EQ(ERROR_SUCCESS,
                      RegSetValueExW(key_, valueName_.c_str(), 0, type_, reinterpret_cast<const BYTE*>(data->c_str()),
                                     static_cast<DWORD>((data->size() + 1) * sizeof(wchar_t))));
        } else {
            RegDeleteValueW(key_, valueName_.c_str());
        }
    }

    HKEY root_;
    REGSAM view_;
    std::wstring keyPath_;
    std::wstring valueName_;
    DWORD type_;
    HKEY key_ = nullptr;
    std::wstring firstCreated_;   // empty when the whole path was there already
    bool existedBefore_ = false;
    bool hadValue_ = false;
    std::wstring oldValue_;
};

// Opera's key as its installer writes it for all users (32-bit view of HKEY_LOCAL_MACHINE).
class OperaKey : public RegistryValue {
public:
    OperaKey() : RegistryValue(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, kOperaKeyPath, kInstallValue, nullptr) {}
    explicit OperaKey(const std::wstring& installDir)
        : RegistryValue(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, kOperaKeyPath, kInstallValue, &installDir)
    {
    }
};

// Owns one file for the life of the object: folders missing on its way are created and removed
// again, and a file that was there before gets its bytes back.
class ScopedFile {
public:
    explicit ScopedFile(const std::wstring& path) : path_(path)
    {
        namespace fs = std::filesystem;
        hadFile_ = PathExists(path_);
        if (hadFile_) oldBytes_ = ReadFileBytes(path_);
        for (fs::path dir = fs::path(path_).parent_path(); !dir.empty() && !fs::exists(dir);
             dir = dir.parent_path()) {
            createdDirs_.push_back(dir);
        }
        std::error_code ec;
        fs::create_directories(fs::path(path_).parent_path(), ec);
        EXPECT_FALSE(ec) << "cannot create the folder of the test file";
    }
    ~ScopedFile()
    {
        if (hadFile_) {
            WriteFileBytes(path_, oldBytes_);
        } else {
            DeleteFileW(path_.c_str());
        }
        std::error_code ec;
        for (const auto& dir : createdDirs_) std::filesystem::remove(dir, ec);  // deepest first
    }
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;

    void Write(const std::string& bytes) const { WriteFileBytes(path_, bytes); }
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
    bool hadFile_ = false;
    std::string oldBytes_;
    std::vector<std::filesystem::path> createdDirs_;
};

inline std::string Utf8(const std::wstring& text) { return WideToUtf8(text); }

// The text in UTF-16 LE without a byte-order mark, as the program's settings file is stored.
inline std::string Utf16Le(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>((unit >> 8) & 0xFF);
    }
    return bytes;
}

inline void MakeDirs(const std::wstring& path)
{
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    ASSERT_FALSE(ec);
}

// A single-user installation in dir: "Multi User=0" in operadef6.ini and the profile below it.
inline void WriteSingleUserInstall(const std::wstring& dir, const std::wstring& userJavaScriptDir)
{
    MakeDirs(dir + L"profile");
    WriteFileBytes(dir + L"operadef6.ini", "[System]\r\nMulti User=0\r\n");
    WriteFileBytes(dir + L"profile\\opera6.ini",
                   "\xEF\xBB\xBFOpera Preferences version 2.1\r\n\r\n[User Prefs]\r\nUser JavaScript File=" +
                       Utf8(userJavaScriptDir) + "\r\n");
}

}  // namespace opera_test
