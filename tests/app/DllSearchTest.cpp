// The program must never load a planted copy of a system DLL. This test runs beside copies of a
// DLL that leaves a mark when it is loaded, named msimg32.dll, wtsapi32.dll and netapi32.dll,
// with Wine told to prefer such copies as Windows would.
#include "app/SafeDllSearch.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <initializer_list>
#include <string>

#include "support/SystemHelpers.h"
#include "tests/common/TestFiles.h"

namespace {

std::wstring ModuleFolder(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L'\\') + 1);
    for (wchar_t& c : folder) c = static_cast<wchar_t>(std::towlower(c));
    return folder;
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring MarkOf(const wchar_t* name)
{
    return GetModuleDir() + name + L".loaded";
}

bool Marked(const wchar_t* name)
{
    return PathExists(MarkOf(name));
}

// A mark left by an earlier run must not count.
void ClearMarks()
{
    for (const wchar_t* name : {L"msimg32.dll", L"wtsapi32.dll", L"netapi32.dll"}) {
        DeleteFileW(MarkOf(name).c_str());
        ASSERT_FALSE(Marked(name));
    }
}

std::wstring SystemFolder()
{
    std::wstring folder = GetSystemDir();
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return Lower(folder);
}

}  // namespace

// Shows that the set-up can catch a fault: an ordinary search takes the planted copy.
TEST(DllSearch, AnOpenSearchTakesThePlantedCopy)
{
    ClearMarks();
    HMODULE module = LoadLibraryW(L"msimg32.dll");
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(Lower(GetModuleDir()), ModuleFolder(module));
    EXPECT_TRUE(Marked(L"msimg32.dll"));
    FreeLibrary(module);
}

TEST(DllSearch, SystemLibrariesComeFromTheSystemFolderOnly)
{
    ClearMarks();
    ASSERT_TRUE(SetCurrentDirectoryW(GetModuleDir().c_str()));
    HMODULE module = LoadSystemLibrary(L"wtsapi32.dll");
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(SystemFolder(), ModuleFolder(module));
    EXPECT_FALSE(Marked(L"wtsapi32.dll"));
    FreeLibrary(module);

    // After the restriction at start, even a plain load by name skips the program's folder and
    // the current folder.
    EXPECT_TRUE(RestrictDllSearch());
    module = LoadLibraryW(L"netapi32.dll");
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(SystemFolder(), ModuleFolder(module));
    EXPECT_FALSE(Marked(L"netapi32.dll"));
    FreeLibrary(module);
}
