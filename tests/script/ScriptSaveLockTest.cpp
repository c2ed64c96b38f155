#include "script/ScriptSaveLock.h"

#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "script/ScriptIdentity.h"
#include "tests/common/TestFiles.h"

namespace {

// How the program tells whether two paths name the same script (the dialog's merge does).
int CompareAsPaths(wchar_t a, wchar_t b)
{
    return CompareStringOrdinal(&a, 1, &b, 1, TRUE);
}

} // namespace

TEST(ScriptSaveLock, OneIdentityAndNameForEverySpellingOfTheSamePath)
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
        // The dialog's merge tells the file its boxes came from by the same identity.
        EXPECT_EQ(row.same, ScriptIdentity(row.a) == ScriptIdentity(row.b)) << row.a << L" / " << row.b;
        const std::wstring a = CScriptSaveLock::MutexName(row.a);
        const std::wstring b = CScriptSaveLock::MutexName(row.b);
        EXPECT_EQ(row.same, a == b) << row.a << L" / " << row.b;
        // A name the system takes: no backslash after the namespace, within its length limit.
        EXPECT_EQ(0u, a.find(L"Local\\"));
        EXPECT_EQ(std::wstring::npos, a.find(L'\\', 6)) << a;
        EXPECT_LT(a.size(), static_cast<size_t>(MAX_PATH)) << a;
    }
}

// Letter case is folded exactly as the program compares paths: characters the comparison takes
// as equal share a name, all others do not. Every block of the character set that has letter
// case (the whole of it takes too long under Wine).
TEST(ScriptSaveLock, LetterCaseIsFoldedAsThePathsCompare)
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
        const std::wstring name = CScriptSaveLock::MutexName(std::wstring(L"C:\\s\\") + units[i] + L"x.js");
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

TEST(ScriptSaveLock, SavesTakeTurnsAndAnEndedHolderLeavesItsTurn)
{
    const std::wstring path = L"C:\\turns-" + std::to_wstring(GetCurrentProcessId()) + L"\\Autorender in IE.js";
    CScriptSaveLock first;
    ASSERT_TRUE(first.Acquire(path));
    EXPECT_TRUE(first.IsHeld());

    // Another save (a thread stands for another instance) waits, and gives up after its time.
    bool gotWhileHeld = true;
    DWORD reason = 0;
    std::thread([&] {
        CScriptSaveLock second;
        gotWhileHeld = second.Acquire(L"c:\\TURNS-" + std::to_wstring(GetCurrentProcessId()) +
                                          L"\\autorender in ie.js",
                                      200);
        reason = second.Error().GetErrorCode();
        EXPECT_FALSE(second.IsHeld());
    }).join();
    EXPECT_FALSE(gotWhileHeld);
    EXPECT_EQ(static_cast<DWORD>(ERROR_TIMEOUT), reason);

    // Its turn comes once the first lets go; a different script never waits.
    bool gotAfterRelease = false;
    bool gotOther = false;
    first.Release();
    EXPECT_FALSE(first.IsHeld());
    std::thread([&] {
        CScriptSaveLock second;
        gotAfterRelease = second.Acquire(path, 200);
        CScriptSaveLock other;
        gotOther = other.Acquire(path + L".other", 0);
    }).join();
    EXPECT_TRUE(gotAfterRelease);
    EXPECT_TRUE(gotOther);

    // A holder that ends without letting go (an instance that died) leaves its turn to the next.
    std::thread([&] {
        HANDLE mutex = CreateMutexW(nullptr, TRUE, CScriptSaveLock::MutexName(path).c_str());
        ASSERT_NE(nullptr, mutex);
    }).join();
    CScriptSaveLock next;
    EXPECT_TRUE(next.Acquire(path, 200));
}
