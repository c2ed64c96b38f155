#include "textio/AtomicFileWriter.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "tests/common/TestFiles.h"
#include "textio/TextStream.h"

namespace {

bool WriteTwoLines(CTextStream& out)
{
    return out.WriteLine(L"new 1") && out.WriteLine(L"new 2");
}

const char kNew[] = "new 1\r\nnew 2\r\n";
const char kOld[] = "old content\r\n";

} // namespace

TEST(AtomicFileWriter, ReplacesAnExistingFileAndLeavesNothingBehind)
{
    CTempDir dir;
    std::wstring path = dir.File(L"script.js");
    WriteFileBytes(path, kOld);
    CLastError error;
    ASSERT_TRUE(SaveTextFileAtomically(path, false, WriteTwoLines, error)) << error.GetErrorCode();
    EXPECT_EQ(kNew, ReadFileBytes(path));
    EXPECT_EQ(L"script.js;", ListFolder(dir.Path()));

    // Saving again over the result works the same way.
    ASSERT_TRUE(SaveTextFileAtomically(path, true, [](CTextStream& out) { return out.WriteLine(L"u"); }, error));
    EXPECT_EQ(std::string("u\0\r\0\n\0", 6), ReadFileBytes(path));
    EXPECT_EQ(L"script.js;", ListFolder(dir.Path()));
}

TEST(AtomicFileWriter, CreatesAMissingFileAndTakesRelativePaths)
{
    CTempDir dir;
    wchar_t previous[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));
    CLastError error;
    bool created = SaveTextFileAtomically(L"fresh.ini", false, WriteTwoLines, error);
    bool replaced = SaveTextFileAtomically(L".\\fresh.ini", false, WriteTwoLines, error);
    SetCurrentDirectoryW(previous);
    EXPECT_TRUE(created);
    EXPECT_TRUE(replaced) << "a relative path also replaces an existing file";
    EXPECT_EQ(kNew, ReadFileBytes(dir.File(L"fresh.ini")));
    EXPECT_EQ(L"fresh.ini;", ListFolder(dir.Path()));
}

TEST(AtomicFileWriter, AFailedWriteLeavesTheOldFileAsItWas)
{
    CTempDir dir;
    std::wstring path = dir.File(L"script.js");
    WriteFileBytes(path, kOld);
    CLastError error;
    auto failHalfway = [](CTextStream& out) { return out.WriteLine(L"partial") && false; };
    EXPECT_FALSE(SaveTextFileAtomically(path, false, failHalfway, error));
    EXPECT_EQ(kOld, ReadFileBytes(path));
    EXPECT_EQ(L"script.js;", ListFolder(dir.Path())) << "the temporary file is removed";
}

TEST(AtomicFileWriter, AReadOnlyFileIsNotReplaced)
{
    CTempDir dir;
    std::wstring path = dir.File(L"script.js");
    WriteFileBytes(path, kOld);
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    CLastError error;
    EXPECT_FALSE(SaveTextFileAtomically(path, false, WriteTwoLines, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), error.GetErrorCode());
    EXPECT_EQ(kOld, ReadFileBytes(path));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY), GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(L"script.js;", ListFolder(dir.Path()));
}

TEST(AtomicFileWriter, AFileLockedByAnotherProgramIsNotReplaced)
{
    CTempDir dir;
    std::wstring path = dir.File(L"script.js");
    WriteFileBytes(path, kOld);
    HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    CLastError error;
    EXPECT_FALSE(SaveTextFileAtomically(path, false, WriteTwoLines, error));
    CloseHandle(lock);
    EXPECT_EQ(kOld, ReadFileBytes(path));
    EXPECT_FALSE(PathExists(dir.File(L"mvt*.tmp")));
    // Our own temporary and backup files are gone (the platform may leave one of its own).
    std::wstring listing = ListFolder(dir.Path());
    EXPECT_EQ(std::wstring::npos, listing.find(L"mvt")) << listing;
    EXPECT_EQ(std::wstring::npos, listing.find(L"mvb")) << listing;
}

TEST(AtomicFileWriter, AMissingFolderFailsCleanly)
{
    CTempDir dir;
    std::wstring path = dir.File(L"missing\\script.js");
    CLastError error;
    EXPECT_FALSE(SaveTextFileAtomically(path, false, WriteTwoLines, error));
    EXPECT_NE(0u, error.GetErrorCode());
    EXPECT_FALSE(PathExists(path));
}

TEST(AtomicFileWriter, KeepsTheAttributesOfTheReplacedFile)
{
    CTempDir dir;
    std::wstring path = dir.File(L"hidden.js");
    WriteFileBytes(path, kOld);
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    CLastError error;
    ASSERT_TRUE(SaveTextFileAtomically(path, false, WriteTwoLines, error));
    EXPECT_EQ(kNew, ReadFileBytes(path));
    EXPECT_NE(0u, GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

TEST(AtomicFileWriter, AnUncommittedWriterRemovesItsTemporaryFile)
{
    CTempDir dir;
    std::wstring temp;
    {
        CAtomicFileWriter writer(dir.File(L"x.txt"));
        ASSERT_TRUE(writer.Begin());
        temp = writer.GetTempPath();
        EXPECT_TRUE(PathExists(temp));
        EXPECT_EQ(dir.Path(), temp.substr(0, dir.Path().size())) << "beside the target, on its volume";
    }
    EXPECT_FALSE(PathExists(temp));
    EXPECT_FALSE(PathExists(dir.File(L"x.txt")));
}

namespace {

// Fills the volume of folder until fewer than keepFree bytes are left.
void FillVolume(const std::wstring& folder, DWORD keepFree)
{
    HANDLE filler = CreateFileW((folder + L"filler.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, filler);
    std::string chunk(4096, 'f');
    DWORD written = 0;
    ULARGE_INTEGER freeBytes = {};
    while (GetDiskFreeSpaceExW(folder.c_str(), &freeBytes, nullptr, nullptr) && freeBytes.QuadPart > keepFree &&
           WriteFile(filler, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr) && written > 0) {
    }
    CloseHandle(filler);
}

} // namespace

// tools/test.sh mounts a small file system and names it in MORVANTI_SMALL_DISK when it can
// (as root); elsewhere the test is skipped.
TEST(AtomicFileWriter, AFullDiskLeavesTheOldFileAsItWas)
{
    const char* smallDisk = std::getenv("MORVANTI_SMALL_DISK");
    if (smallDisk == nullptr || *smallDisk == '\0') GTEST_SKIP() << "no small file system to fill";
    std::string folderNarrow(smallDisk);
    std::wstring folder(folderNarrow.begin(), folderNarrow.end());
    if (folder.back() != L'\\') folder += L'\\';
    folder += L"full-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring path = folder + L"Autorender in IE.js";
    std::string old;
    for (int i = 0; i < 100; ++i) old += "//@include http://old" + std::to_string(i) + ".example.com/*\r\n";
    WriteFileBytes(path, old);
    FillVolume(folder, 2048);

    CLastError error;
    auto manyLines = [](CTextStream& out) {
        for (int i = 0; i < 2000; ++i) {
            if (!out.WriteLine(L"//@include http://new" + std::to_wstring(i) + L".example.com/*")) return false;
        }
        return true;
    };
    bool saved = SaveTextFileAtomically(path, false, manyLines, error);
    std::string after = ReadFileBytes(path);
    std::wstring listing = ListFolder(folder);
    DeleteFileW((folder + L"filler.bin").c_str());
    DeleteFileW(path.c_str());
    RemoveDirectoryW(folder.c_str());

    EXPECT_FALSE(saved) << "a save that did not fit must not report success";
    EXPECT_EQ(old, after) << "the old script is untouched";
    EXPECT_EQ(L"Autorender in IE.js;filler.bin;", listing) << "no half-written temporary file is left";
}
