#pragma once
// An Opera installation for tests: the registry key Opera's installer writes (32-bit view of
// HKEY_LOCAL_MACHINE) and its configuration files on disk. Everything created is removed again,
// and anything that was there before is put back.

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

inline bool KeyExists(const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Holds Opera's key for the life of the object. Without a value the key is there but
// "Install Directory" is not.
class OperaKey {
public:
    OperaKey() { Create(nullptr); }
    explicit OperaKey(const std::wstring& installDir) { Create(&installDir); }
    ~OperaKey()
    {
        if (!firstCreated_.empty()) {
            // Removes the whole branch this object added, below the last key that was there.
            const size_t cut = firstCreated_.rfind(L'\\');
            HKEY parent = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, firstCreated_.substr(0, cut).c_str(), 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, &parent) == ERROR_SUCCESS) {
                EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(parent, firstCreated_.substr(cut + 1).c_str()));
                RegCloseKey(parent);
            }
        } else if (key_ != nullptr) {
            if (hadValue_) {
                RegSetValueExW(key_, kInstallValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(oldValue_.c_str()),
                               static_cast<DWORD>((oldValue_.size() + 1) * sizeof(wchar_t)));
            } else {
                RegDeleteValueW(key_, kInstallValue);
            }
        }
        if (key_ != nullptr) RegCloseKey(key_);
        EXPECT_EQ(existedBefore_, KeyExists(kOperaKeyPath));
    }
    OperaKey(const OperaKey&) = delete;
    OperaKey& operator=(const OperaKey&) = delete;

private:
    void Create(const std::wstring* installDir)
    {
        const std::wstring full(kOperaKeyPath);
        existedBefore_ = KeyExists(full);
        for (size_t pos = full.find(L'\\'); firstCreated_.empty(); pos = full.find(L'\\', pos + 1)) {
            const std::wstring part = full.substr(0, pos);
            if (!KeyExists(part)) firstCreated_ = part;
            if (pos == std::wstring::npos) break;
        }
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kOperaKeyPath, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key_, nullptr));
        wchar_t buffer[MAX_PATH + 1] = {};
        DWORD size = sizeof buffer - sizeof(wchar_t);
        DWORD type = REG_NONE;
        hadValue_ = RegQueryValueExW(key_, kInstallValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
                    ERROR_SUCCESS;
        oldValue_ = buffer;
        if (installDir != nullptr) {
            ASSERT_EQ(ERROR_SUCCESS,
                      RegSetValueExW(key_, kInstallValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(installDir->c_str()),
                                     static_cast<DWORD>((installDir->size() + 1) * sizeof(wchar_t))));
        } else {
            RegDeleteValueW(key_, kInstallValue);
        }
    }

    HKEY key_ = nullptr;
    std::wstring firstCreated_;   // empty when the whole path was there already
    bool existedBefore_ = false;
    bool hadValue_ = false;
    std::wstring oldValue_;
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
