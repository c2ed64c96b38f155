#include "textio/RunLog.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/common/TestFiles.h"

namespace {

std::string Utf16Line(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes + std::string("\n\0", 2);
}

} // namespace

TEST(RunLog, ClosedLogWritesAndFormatsNothing)
{
    CTempDir dir;
    CRunLog log;
    EXPECT_FALSE(log.WriteLine(L"x"));
    // A format that would crash if it were ever formatted: it must not be.
    EXPECT_FALSE(log.Printf(L"%s%s%s%n", 1, 2, 3));
    EXPECT_FALSE(log.WriteFormat(L"Line[%s]", L"y"));
    EXPECT_FALSE(log.WriteFormat(L"%s %s", L"a", L"b"));
    EXPECT_FALSE(log.WriteHeader(L"T"));
    EXPECT_TRUE(log.GetPath().empty());
    EXPECT_EQ(0u, log.Error().GetErrorCode());
    EXPECT_TRUE(log.Error().GetErrorText().empty());
    EXPECT_EQ(L"", ListFolder(dir.Path()));
}

TEST(RunLog, HeaderAndLinesHaveTheFileFormat)
{
    CTempDir dir;
    std::wstring path = dir.File(L"run.log");
    WriteFileBytes(path, "previous log content that must go");
    CRunLog log;
    ASSERT_TRUE(log.Open(path));
    EXPECT_EQ(path, log.GetPath());
    SYSTEMTIME before = {};
    GetLocalTime(&before);
    ASSERT_TRUE(log.WriteHeader(L"Morvanti"));
    EXPECT_TRUE(log.Printf(L"%s:[%d]", L"CAutoRender::Init", 15));
    EXPECT_TRUE(log.WriteFormat(L"Line[%s]", L"100%s %d"));
    EXPECT_TRUE(log.WriteFormat(L"%s=%s", L"k", L"v"));
    std::wstring longText(300, L'L');
    EXPECT_TRUE(log.WriteLine(longText));
    EXPECT_TRUE(log.Printf(L"Applaction End[%d]", 0));
    // Every line reaches the disk at once: read the file while the log is still open.
    std::string bytes = ReadFileBytes(path);
    log.Close();
    EXPECT_TRUE(log.GetPath().empty());

    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2));
    std::string rest = bytes.substr(2);
    std::string first = Utf16Line(L"Morvanti  Start");
    ASSERT_EQ(first, rest.substr(0, first.size()));
    rest = rest.substr(first.size());
    // The date-time line: "YYYY.MM.DD  hh:mm:ss", 20 characters.
    ASSERT_GE(rest.size(), 42u);
    std::wstring stamp;
    for (size_t i = 0; i < 40; i += 2) stamp.push_back(static_cast<wchar_t>((unsigned char)rest[i] | (rest[i + 1] << 8)));
    EXPECT_EQ(std::string("\n\0", 2), rest.substr(40, 2));
    EXPECT_EQ(std::to_wstring(before.wYear), stamp.substr(0, 4));
    EXPECT_EQ(L'.', stamp[4]);
    EXPECT_EQ(L'.', stamp[7]);
    EXPECT_EQ(L"  ", stamp.substr(10, 2));
    EXPECT_EQ(L':', stamp[14]);
    EXPECT_EQ(L':', stamp[17]);
    rest = rest.substr(42);
    std::string expected = Utf16Line(L"---------------------------------") + Utf16Line(L"CAutoRender::Init:[15]") +
                           Utf16Line(L"Line[100%s %d]") + Utf16Line(L"k=v") + Utf16Line(longText) +
                           Utf16Line(L"Applaction End[0]");
    EXPECT_EQ(expected, rest);
    EXPECT_EQ(std::string::npos, bytes.find('\r')) << "no CR anywhere";
}

TEST(RunLog, OpenInAMissingFolderFails)
{
    CTempDir dir;
    CRunLog log;
    EXPECT_FALSE(log.Open(dir.File(L"no\\such\\folder\\run.log")));
    EXPECT_EQ(L"File Cannot Open.", log.Error().GetErrorText());
    EXPECT_TRUE(log.GetPath().empty());
    EXPECT_FALSE(log.WriteLine(L"x"));
}

TEST(RunLog, TheProgramsLogStaysClosed)
{
    EXPECT_TRUE(g_runLog.GetPath().empty());
    EXPECT_FALSE(g_runLog.Printf(L"%s", L"x"));
}
