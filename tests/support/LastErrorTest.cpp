#include "support/LastError.h"

#include <gtest/gtest.h>

TEST(LastError, NewRecordIsEmptyAndStoresReplaceWholesale)
{
    CLastError e;
    EXPECT_EQ(0u, e.GetErrorCode());
    EXPECT_TRUE(e.GetErrorText().empty());
    e.SetError(L"first failure, long text", 7);
    e.SetError(L"second", 1);
    EXPECT_EQ(1u, e.GetErrorCode());
    EXPECT_EQ(L"second", e.GetErrorText());
    e.ClearError();
    EXPECT_EQ(0u, e.GetErrorCode());
    EXPECT_TRUE(e.GetErrorText().empty());
}

TEST(LastError, FromLastErrorDropsTheMessageLineBreakFromCodeKeepsIt)
{
    std::wstring raw;
    ASSERT_TRUE(FormatSystemMessage(ERROR_FILE_NOT_FOUND, raw));
    ASSERT_GE(raw.size(), 2u);
    ASSERT_EQ(L"\r\n", raw.substr(raw.size() - 2)) << "system messages end in CR LF";

    CLastError fromLast;
    SetLastError(ERROR_FILE_NOT_FOUND);
    fromLast.SetErrorFromLastError();
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), fromLast.GetErrorCode());
    EXPECT_EQ(raw.substr(0, raw.size() - 2), fromLast.GetErrorText());

    CLastError fromCode;
    fromCode.SetErrorFromCode(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), fromCode.GetErrorCode());
    EXPECT_EQ(raw, fromCode.GetErrorText());

    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(raw, GetLastErrorText());
}

TEST(LastError, CodeWithoutMessageKeepsCodeAndSaysFormattingFailed)
{
    const DWORD noSuchMessage = 0x2FFFFFFF;
    CLastError e;
    e.SetErrorFromCode(noSuchMessage);
    EXPECT_EQ(noSuchMessage, e.GetErrorCode());
    EXPECT_EQ(L"格式化错误信息失败", e.GetErrorText());

    SetLastError(noSuchMessage);
    e.SetErrorFromLastError();
    EXPECT_EQ(noSuchMessage, e.GetErrorCode());
    EXPECT_EQ(L"格式化错误信息失败", e.GetErrorText());

    SetLastError(noSuchMessage);
    EXPECT_TRUE(GetLastErrorText().empty());
}
