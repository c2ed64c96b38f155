#pragma once
// Real files for tests: a private folder under the temporary directory, and byte-exact
// reading and writing of whole files.

#include <string>

class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    // The folder, ending in a backslash.
    const std::wstring& Path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + name; }

private:
    std::wstring path_;
};

void WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool PathExists(const std::wstring& path);
// Names of the entries of a folder, sorted.
std::wstring ListFolder(const std::wstring& folder);
// The ANSI code page the test run expects (MORVANTI_EXPECT_ACP), 0 when not given.
unsigned ExpectedCodePage();
