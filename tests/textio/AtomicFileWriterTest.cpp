#include "textio/AtomicFileWriter.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <string>

#include <gtest/gtest.h>

#include "tests/common/TestFiles.h"
#include "textio/RunLog.h"
#include "textio/SaveLeftovers.h"
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
    // Waited for up to 2 s; the run log then tells the file and the system's reason.
    ASSERT_TRUE(g_runLog.Open(dir.File(L"run.log")));
    EXPECT_FALSE(SaveTextFileAtomically(path, false, WriteTwoLines, error));
    g_runLog.Close();
    CloseHandle(lock);
    const std::wstring line = L"file held by another program[" + path + L"][";
    EXPECT_NE(std::string::npos, ReadFileBytes(dir.File(L"run.log")).find(std::string(
                                     reinterpret_cast<const char*>(line.data()), line.size() * sizeof(wchar_t))));
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
    const uint32_t before = SaveFileTimeNow();
    {
        CAtomicFileWriter writer(dir.File(L"x.txt"));
        ASSERT_TRUE(writer.Begin());
        temp = writer.GetSavePath();
        EXPECT_TRUE(PathExists(temp));
        EXPECT_EQ(dir.Path(), temp.substr(0, dir.Path().size())) << "beside the target, on its volume";
    }
    // Its name tells when it was made, for the clean-up of leftovers.
    const uint32_t named = static_cast<uint32_t>(std::wcstoul(temp.substr(temp.size() - 12, 8).c_str(), nullptr, 16));
    EXPECT_LE(before, named) << temp;
    EXPECT_LE(named, SaveFileTimeNow()) << temp;
    EXPECT_FALSE(PathExists(temp));
    EXPECT_FALSE(PathExists(dir.File(L"x.txt")));
}

namespace {

std::wstring Extended(const std::wstring& path)
{
    return L"\\\\?\\" + path;
}

// Creates nested folders under base until the folder's full path, with its final backslash,
// has exactly `length` characters; returns that path.
std::wstring MakeLongFolder(const std::wstring& base, size_t length)
{
    std::wstring folder = base;
    while (folder.size() < length) {
        const size_t component = std::min<size_t>(100, length - folder.size() - 1);
        folder += std::wstring(component, L'd') + L"\\";
        EXPECT_TRUE(CreateDirectoryW(Extended(folder).c_str(), nullptr)) << GetLastError();
    }
    return folder;
}

void RemoveLongFolder(const std::wstring& base, std::wstring folder)
{
    while (folder.size() > base.size()) {
        RemoveDirectoryW(Extended(folder).c_str());
        folder.erase(folder.find_last_of(L'\\', folder.size() - 2) + 1);
    }
}

} // namespace

TEST(AtomicFileWriter, SaveFileNamesAreShortAndFitEveryFolderAScriptFits)
{
    // The name gives back the number (the time it was made) to the clean-up of leftovers.
    for (uint32_t number : {0u, 0x0012ABCDu, 0xFFFFFFFFu}) {
        const std::wstring path = SaveFilePath(L"C:\\s\\", number);
        uint32_t read = number + 1;
        EXPECT_EQ(0u, path.find(L"C:\\s\\")) << path;
        EXPECT_TRUE(CSaveLeftovers::ReadName(path.substr(5), read)) << path;
        EXPECT_EQ(number, read) << path;
    }
    const size_t nameLength = SaveFilePath(L"", 0).size();
    EXPECT_LE(nameLength, std::wstring(L"Autorender in IE.js").size()) << "fits wherever the default script fits";

    // Up to MAX_PATH - 1 characters a path is taken as it is; from MAX_PATH on only in the "\\?\" form.
    const std::wstring fits = L"C:\\" + std::wstring(MAX_PATH - 1 - 3 - nameLength - 1, L'f') + L"\\";
    EXPECT_EQ(fits + SaveFilePath(L"", 1), SaveFilePath(fits, 1));
    const std::wstring reaches = L"C:\\" + std::wstring(MAX_PATH - 3 - nameLength - 1, L'r') + L"\\";
    EXPECT_EQ(L"\\\\?\\" + reaches + SaveFilePath(L"", 1), SaveFilePath(reaches, 1));
    const std::wstring share = L"\\\\server\\share\\" + std::wstring(240, L'u') + L"\\";
    EXPECT_EQ(L"\\\\?\\UNC\\server\\share\\" + share.substr(15) + SaveFilePath(L"", 42), SaveFilePath(share, 42));

    // A script with a short name in a folder of 250 characters (where GetTempFileNameW gives up)
    // is saved through the long form of the new file's name.
    CTempDir dir;
    const std::wstring folder = MakeLongFolder(dir.Path(), 250);
    ASSERT_EQ(250u, folder.size());
    std::wstring made;
    CLastError error;
    CFileHandle handle;
    ASSERT_TRUE(CreateSaveFile(folder, 7, made, handle, error)) << error.GetErrorCode();
    handle.Close();
    EXPECT_EQ(Extended(folder) + SaveFilePath(L"", 7), made);
    EXPECT_TRUE(PathExists(made));
    EXPECT_TRUE(DeleteFileW(made.c_str()));
    const std::wstring script = folder + L"a.js";
    WriteFileBytes(script, kOld);
    EXPECT_TRUE(SaveTextFileAtomically(script, false, WriteTwoLines, error)) << error.GetErrorCode();
    EXPECT_EQ(kNew, ReadFileBytes(script));
    EXPECT_EQ(L"a.js;", ListFolder(folder));
    DeleteFileW(script.c_str());
    RemoveLongFolder(dir.Path(), folder);
}

TEST(AtomicFileWriter, ASaveFileNameThatIsTakenIsRetriedAFewTimes)
{
    CTempDir dir;
    CLastError error;
    std::wstring made;
    // A file and a folder of the same names as the first numbers stay as they were.
    CFileHandle handle;
    const std::wstring takenFile = SaveFilePath(dir.Path(), 0xFFFFFFFF);
    WriteFileBytes(takenFile, "user's");
    ASSERT_TRUE(CreateDirectoryW(SaveFilePath(dir.Path(), 0).c_str(), nullptr));
    ASSERT_TRUE(CreateSaveFile(dir.Path(), 0xFFFFFFFF, made, handle, error)) << error.GetErrorCode();
    handle.Close();
    EXPECT_EQ(SaveFilePath(dir.Path(), 1), made);
    EXPECT_EQ("", ReadFileBytes(made));
    EXPECT_EQ("user's", ReadFileBytes(takenFile));

    // In a folder where the next 64 names are all taken it gives up.
    for (uint32_t n = 0x100; n < 0x100 + 64; ++n) {
        WriteFileBytes(SaveFilePath(dir.Path(), n), "");
    }
    const std::wstring before = ListFolder(dir.Path());
    EXPECT_FALSE(CreateSaveFile(dir.Path(), 0x100, made, handle, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), error.GetErrorCode());
    EXPECT_EQ(before, ListFolder(dir.Path()));

    // Any other failure is not a taken name and ends the attempts with its own reason.
    EXPECT_FALSE(CreateSaveFile(dir.File(L"missing\\"), 5, made, handle, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error.GetErrorCode());
}

namespace {

enum class Entry { File, ReadOnly, Folder, HeldOpen };

// A name with a "%08X" (or "%08x") in it takes the time nameAgeMinutes ago there, as the
// program's own names carry the time they were made; the file's last-write time is set
// fileAgeMinutes back.
struct Leftover {
    const wchar_t* name;
    int nameAgeMinutes;
    int fileAgeMinutes;
    Entry entry;
    bool removed;
};

// Sets the last-write time of an existing file or folder to that many minutes ago.
void Age(const std::wstring& path, int minutes)
{
    HANDLE handle = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER time = {};
    time.LowPart = now.dwLowDateTime;
    time.HighPart = now.dwHighDateTime;
    time.QuadPart -= static_cast<ULONGLONG>(minutes) * 60 * 10000000;
    FILETIME then = {time.LowPart, time.HighPart};
    EXPECT_TRUE(SetFileTime(handle, nullptr, nullptr, &then));
    CloseHandle(handle);
}

std::wstring LeftoverName(const Leftover& leftover, uint32_t now)
{
    wchar_t name[64] = {};
    swprintf(name, 64, leftover.name, now - static_cast<uint32_t>(leftover.nameAgeMinutes * 60));
    return name;
}

} // namespace

TEST(AtomicFileWriter, ASuccessfulSaveRemovesOnlyItsOwnLeftoversOfEarlierSaves)
{
    const Leftover leftovers[] = {
        {L"~mvt0000ABCD.tmp", 0, 11, Entry::File, true},           // made in 1970
        {L"~mvt%08X.tmp", 11, 0, Entry::File, true},               // judged by the name, not the file's time
        {L"~MVB%08x.TMP", 60 * 24, 0, Entry::File, true},          // names compare without regard to case
        // ReplaceFileW's backup keeps the replaced script's time stamps: a save of another
        // instance may still need it.
        {L"~mvb%08X.tmp", 0, 60, Entry::File, false},
        {L"~mvt%08X.tmp", 9, 60, Entry::File, false},
        {L"~MVBdeadbeef.TMP", 0, 60 * 24, Entry::File, false},    // a time in the future says nothing of age
        {L"~mvt%08X.tmp", -5, 60, Entry::File, false},
        {L"~mvb00000001.tmp", 0, 11, Entry::HeldOpen, false},      // in use; the save succeeds all the same
        {L"~mvt00000002.tmp", 0, 11, Entry::ReadOnly, false},
        {L"~mvt00000003.tmp", 0, 11, Entry::Folder, false},
        // A user's files, however old and however close their names. GetTempFileNameW makes
        // "mvt" or "mvb" with four digits for a program that asks for that prefix.
        {L"mvt1A2B.tmp", 0, 60, Entry::File, false},
        {L"mvbFFFF.tmp", 0, 60, Entry::File, false},
        {L"mvt0001.tmp", 0, 0, Entry::File, false},
        {L"notes.tmp", 0, 11, Entry::File, false},
        {L"mvt12345.tmp", 0, 11, Entry::File, false},
        {L"mvt123.tmp", 0, 11, Entry::File, false},
        {L"~mvtXYZ.tmp", 0, 11, Entry::File, false},
        {L"~mvt0000ABCG.tmp", 0, 11, Entry::File, false},
        {L"~mvt000ABCD.tmp", 0, 11, Entry::File, false},
        {L"~mvx0000ABCD.tmp", 0, 11, Entry::File, false},
        {L"x~mvt0000ABCD.tmp", 0, 11, Entry::File, false},
        {L"~mvt0000ABCD.tmp.js", 0, 11, Entry::File, false},
        {L"~mvt%08X0.tmp", 60, 60, Entry::File, false},
        {L"mvt1A2B.tmp~", 0, 11, Entry::File, false},
        {L"mvt1A2B.txt", 0, 11, Entry::File, false},
    };
    CTempDir dir;
    HANDLE held = INVALID_HANDLE_VALUE;
    const uint32_t now = SaveFileTimeNow();
    for (const Leftover& leftover : leftovers) {
        const std::wstring path = dir.File(LeftoverName(leftover, now));
        if (leftover.entry == Entry::Folder) {
            ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
        } else {
            WriteFileBytes(path, "left");
        }
        Age(path, leftover.fileAgeMinutes);
        if (leftover.entry == Entry::ReadOnly) {
            ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        if (leftover.entry == Entry::HeldOpen) {
            held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(INVALID_HANDLE_VALUE, held);
        }
    }
    // The names this version makes are among those it removes.
    CLastError error;
    std::wstring made;
    CFileHandle handle;
    ASSERT_TRUE(CreateSaveFile(dir.Path(), now - 11 * 60, made, handle, error));
    handle.Close();

    const std::wstring script = dir.File(L"Autorender in IE.js");
    WriteFileBytes(script, kOld);
    const bool saved = SaveTextFileAtomically(script, false, WriteTwoLines, error);
    CloseHandle(held);
    ASSERT_TRUE(saved) << error.GetErrorCode();
    EXPECT_EQ(kNew, ReadFileBytes(script));
    for (const Leftover& leftover : leftovers) {
        const std::wstring name = LeftoverName(leftover, now);
        EXPECT_EQ(leftover.removed, !PathExists(dir.File(name))) << name;
    }
    EXPECT_FALSE(PathExists(made));
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
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), error.GetErrorCode()) << "the system's own reason";
    EXPECT_EQ(old, after) << "the old script is untouched";
    EXPECT_EQ(L"Autorender in IE.js;filler.bin;", listing) << "no half-written temporary file is left";
}

namespace {

// A stand-in for a disk that fails where tests cannot fill or lock a real one: the new file's
// bytes reach the real file until failAfter of them went, then a write fails with writeCode; the
// flush fails with flushCode (0: it works).
class CFailingDiskWriter : public CAtomicFileWriter {
public:
    CFailingDiskWriter(const std::wstring& path, size_t failAfter, DWORD writeCode, DWORD flushCode,
                       const SaveOptions& options)
        : CAtomicFileWriter(path, options), failAfter_(failAfter), writeCode_(writeCode), flushCode_(flushCode)
    {
    }

protected:
    bool WriteToFile(HANDLE file, const void* bytes, DWORD count, DWORD& written) override
    {
        if (count > failAfter_ - taken_) {
            SetLastError(writeCode_);
            return false;
        }
        taken_ += count;
        return CAtomicFileWriter::WriteToFile(file, bytes, count, written);
    }
    bool FlushFile(HANDLE file) override
    {
        if (flushCode_ == 0) return CAtomicFileWriter::FlushFile(file);
        SetLastError(flushCode_);
        return false;
    }

private:
    size_t failAfter_;
    DWORD writeCode_;
    DWORD flushCode_;
    size_t taken_ = 0;
};

} // namespace

// In place (a file with a second name), the journal puts the old bytes back, and goes.
TEST(AtomicFileWriter, AFailedWriteOrFlushKeepsTheSystemsReason)
{
    struct Row {
        size_t failAfter;
        DWORD writeCode;
        DWORD flushCode;
        bool secondName;
    };
    const size_t never = static_cast<size_t>(-1);
    const Row rows[] = {
        {0, ERROR_DISK_FULL, 0, false},                // the first block of lines
        {64 * 1024, ERROR_DISK_FULL, 0, false},        // after a block went
        {64 * 1024, ERROR_LOCK_VIOLATION, 0, false},
        {never, 0, ERROR_DISK_FULL, false},            // every byte went; the flush fails
        {never, 0, ERROR_LOCK_VIOLATION, false},
        {0, ERROR_DISK_FULL, 0, true},
        {64 * 1024, ERROR_DISK_FULL, 0, true},
        {never, 0, ERROR_DISK_FULL, true},
    };
    auto manyLines = [](CTextStream& out) {
        for (int i = 0; i < 5000; ++i) {
            if (!out.WriteLine(L"//@include http://new" + std::to_wstring(i) + L".example.com/*")) return false;
        }
        return true;
    };
    for (const Row& row : rows) {
        CTempDir dir;
        const std::wstring path = dir.File(L"script.js");
        WriteFileBytes(path, kOld);
        if (row.secondName) {
            ASSERT_TRUE(CreateHardLinkW(dir.File(L"second.js").c_str(), path.c_str(), nullptr));
        }
        SaveOptions options;
        options.mayWriteInPlace = true;
        CFailingDiskWriter writer(path, row.failAfter, row.writeCode, row.flushCode, options);
        const CLastError& error = writer.Error();
        const DWORD code = row.flushCode != 0 ? row.flushCode : row.writeCode;
        EXPECT_FALSE(SaveTextFileAtomically(writer, false, manyLines)) << code;
        EXPECT_EQ(code, error.GetErrorCode());
        std::wstring message;
        ASSERT_TRUE(FormatSystemMessage(code, message));
        EXPECT_FALSE(error.GetErrorText().empty());
        EXPECT_EQ(0u, message.find(error.GetErrorText())) << "the system's message";
        EXPECT_EQ(kOld, ReadFileBytes(path));
        EXPECT_EQ(row.secondName ? L"script.js;second.js;" : L"script.js;", ListFolder(dir.Path())) << code;
    }
}
