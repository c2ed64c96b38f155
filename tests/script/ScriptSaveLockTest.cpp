#include "script/ScriptSaveLock.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "script/ScriptIdentity.h"
#include "support/OwnedHandle.h"
#include "tests/common/TestFiles.h"

namespace {

// How the program tells whether two paths name the same script (the dialog's merge does).
int CompareAsPaths(wchar_t a, wchar_t b)
{
    return CompareStringOrdinal(&a, 1, &b, 1, TRUE);
}

} // namespace

TEST(ScriptIdentity, OneForEverySpellingOfTheSamePath)
{
    CTempDir dir;
    WriteFileBytes(dir.File(L"Autorender in IE.js"), "x");
    wchar_t shortName[MAX_PATH + 1] = {};
    const DWORD shortLength = GetShortPathNameW(dir.File(L"Autorender in IE.js").c_str(), shortName, MAX_PATH);
    const std::wstring deep = L"C:\\" + std::wstring(300, L'd') + L"\\a.js";
    struct Row {
        std::wstring a;
        std::wstring b;
        bool same;
    };
    const Row rows[] = {
        {L"C:\\Scripts\\a.js", L"c:\\scripts\\A.JS", true},
        {L"C:\\Scripts\\a.js", L"C:\\Scripts\\.\\sub\\..\\a.js", true},
        {L"C:\\Scripts\\a.js", L"\\\\?\\C:\\SCRIPTS\\a.js", true},
        {L"\\\\Server\\Share\\a.js", L"\\\\?\\UNC\\server\\share\\A.js", true},
        {L"C:\\\u00C4\u00D6\\\u0416.js", L"C:\\\u00E4\u00F6\\\u0436.js", true},   // beyond ASCII, as Windows compares
        {L"C:\\Scripts\\a.js", L"C:\\Scripts\\b.js", false},
        {L"C:\\Scripts\\a.js", L"C:\\Scripts\\a.js.bak", false},
        {L"C:\\Scripts\\\u00C4.js", L"C:\\Scripts\\A.js", false},
        {deep, L"\\\\?\\c:\\" + std::wstring(300, L'D') + L"\\A.JS", true},
        {deep, L"C:\\" + std::wstring(300, L'd') + L"\\b.js", false},
        {dir.File(L"Autorender in IE.js"), shortLength > 0 ? std::wstring(shortName) : dir.File(L"AUTORENDER IN IE.JS"),
         true},
    };
    for (const Row& row : rows) {
        // The dialog's merge tells the file its boxes came from by this identity.
        EXPECT_EQ(row.same, ScriptIdentity(row.a) == ScriptIdentity(row.b)) << row.a << L" / " << row.b;
    }
}

// Letter case is folded exactly as the program compares paths: characters the comparison takes
// as equal share an identity, all others do not. Every block of the character set that has letter
// case (the whole of it takes too long under Wine).
TEST(ScriptIdentity, LetterCaseIsFoldedAsThePathsCompare)
{
    const unsigned blocks[][2] = {
        {0x0021, 0x024F}, {0x0370, 0x058F}, {0x10A0, 0x10FF}, {0x13A0, 0x13FF}, {0x1E00, 0x1FFF},
        {0x2100, 0x218F}, {0x24B6, 0x24E9}, {0x2C00, 0x2D2F}, {0xA640, 0xA7FF}, {0xAB70, 0xABBF},
        {0xFF01, 0xFF5E},
    };
    std::vector<wchar_t> units;
    for (const auto& block : blocks) {
        for (unsigned unit = block[0]; unit <= block[1]; ++unit) {
            if (unit != L'\\' && unit != L'/' && unit != L'.') units.push_back(static_cast<wchar_t>(unit));
        }
    }
    // In the comparison's order, characters it takes as equal stand together.
    std::stable_sort(units.begin(), units.end(),
                     [](wchar_t a, wchar_t b) { return CompareAsPaths(a, b) == CSTR_LESS_THAN; });
    std::set<std::wstring> namesOfEarlierGroups;
    std::wstring groupName;
    int mismatches = 0;
    for (size_t i = 0; i < units.size() && mismatches < 10; ++i) {
        const std::wstring name = ScriptIdentity(std::wstring(L"C:\\s\\") + units[i] + L"x.js");
        const bool sameGroup = i > 0 && CompareAsPaths(units[i - 1], units[i]) == CSTR_EQUAL;
        if (!sameGroup && i > 0) namesOfEarlierGroups.insert(groupName);
        const bool fits = sameGroup ? name == groupName : namesOfEarlierGroups.count(name) == 0;
        if (!fits) {
            ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(units[i])
                          << (sameGroup ? " is named apart from U+" : " shares its name with a character unlike it")
                          << (sameGroup ? static_cast<unsigned>(units[i - 1]) : 0u);
            ++mismatches;
        }
        if (!sameGroup) groupName = name;
    }
}

// Another instance stands for every other holder (another process, session or PC): locks
// belong to handles, so two in one process take turns as well.
TEST(ScriptSaveLock, EverySpellingOfTheScriptsPathWaitsForOneTurn)
{
    CTempDir dir;
    const std::wstring script = dir.File(L"Autorender in IE.js");
    WriteFileBytes(script, "x");
    WriteFileBytes(dir.File(L"other.js"), "x");
    ASSERT_TRUE(CreateDirectoryW(dir.File(L"sub").c_str(), nullptr));
    WriteFileBytes(dir.File(L"sub\\Autorender in IE.js"), "x");
    wchar_t shortName[MAX_PATH + 1] = {};
    ASSERT_NE(0u, GetShortPathNameW(script.c_str(), shortName, MAX_PATH));
    std::wstring upper = script;
    std::transform(upper.begin(), upper.end(), upper.begin(), towupper);
    struct Row {
        std::wstring path;
        bool waits;
    };
    const Row rows[] = {
        {script, true},
        {upper, true},
        {L"\\\\?\\" + script, true},
        {shortName, true},
        {dir.File(L"sub\\..\\Autorender in IE.js"), true},
        {dir.File(L"other.js"), true},                     // the scripts of one folder share their turn
        {dir.File(L"sub\\Autorender in IE.js"), false},  // another folder's script never waits
    };
    CScriptSaveLock first;
    ASSERT_TRUE(first.Acquire(script));
    EXPECT_TRUE(first.IsHeld());
    for (const Row& row : rows) {
        CScriptSaveLock second;
        EXPECT_EQ(!row.waits, second.Acquire(row.path, 100)) << row.path;
        EXPECT_EQ(row.waits ? ERROR_TIMEOUT : ERROR_SUCCESS, second.Error().GetErrorCode()) << row.path;
    }
    // Its turn comes once the first lets go.
    first.Release();
    EXPECT_FALSE(first.IsHeld());
    for (const Row& row : rows) {
        CScriptSaveLock second;
        EXPECT_TRUE(second.Acquire(row.path, 0)) << row.path;
    }
}

TEST(ScriptSaveLock, TheTurnIsAHiddenFileBesideTheScriptThatStays)
{
    CTempDir dir;
    const std::wstring script = dir.File(L"Autorender in IE.js");
    WriteFileBytes(script, "x");
    {
        CScriptSaveLock turn;
        ASSERT_TRUE(turn.Acquire(script));
    }
    // Not a "*.js" that Opera would load; kept, since deleting it would race with its next open.
    EXPECT_EQ(L"Autorender in IE.js;Morvanti.lock;", ListFolder(dir.Path()));
    EXPECT_NE(0u, GetFileAttributesW(dir.File(L"Morvanti.lock").c_str()) & FILE_ATTRIBUTE_HIDDEN);

    // Where there is no script to save (a missing one, a folder, a device), nothing is made, and
    // the turn says so: the read failure it is, not a turn that did not come.
    CTempDir empty;
    ASSERT_TRUE(CreateDirectoryW(empty.File(L"folder.js").c_str(), nullptr));
    for (const std::wstring& none : {empty.File(L"missing.js"), empty.File(L"folder.js"), empty.File(L"NUL"),
                                     empty.File(L"missing\\x.js")}) {
        CScriptSaveLock turn;
        EXPECT_FALSE(turn.Acquire(none, 0)) << none;
        EXPECT_TRUE(turn.NoScript()) << none;
        EXPECT_FALSE(turn.IsHeld()) << none;
    }
    EXPECT_EQ(L"folder.js;", ListFolder(empty.Path()));
}

// The turn also locks a byte of the script itself, beyond its end where no reader or writer of
// the script goes: every instance takes it, so it holds where no lock file can be had. A lock
// file that another program holds for a moment is waited out, as a held script is.
TEST(ScriptSaveLock, TheTurnLocksTheScriptItselfAndWaitsOutAHeldLockFile)
{
    CTempDir dir;
    const std::wstring script = dir.File(L"Autorender in IE.js");
    WriteFileBytes(script, "x");
    const CFileHandle other(CreateFileW(script.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(other.IsValid());
    OVERLAPPED scriptByte = {};
    scriptByte.Offset = CScriptSaveLock::kScriptLockOffset;
    {
        CScriptSaveLock turn;
        ASSERT_TRUE(turn.Acquire(script));
        EXPECT_FALSE(LockFileEx(other.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &scriptByte));
        EXPECT_EQ(static_cast<DWORD>(ERROR_LOCK_VIOLATION), GetLastError());
        char byte = 0;
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(other.Get(), &byte, 1, &got, nullptr) && got == 1) << "the script reads as ever";
    }
    EXPECT_TRUE(LockFileEx(other.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &scriptByte));
    EXPECT_TRUE(UnlockFileEx(other.Get(), 0, 1, 0, &scriptByte));

    HANDLE held = CreateFileW(dir.File(L"Morvanti.lock").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    std::thread backup([held] {
        Sleep(800);
        CloseHandle(held);
    });
    CScriptSaveLock turn;
    const DWORD start = GetTickCount();
    EXPECT_TRUE(turn.Acquire(script, 0));
    EXPECT_GE(GetTickCount() - start, 700u);
    backup.join();
}
