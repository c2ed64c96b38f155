#include "support/ByteStream.h"

#include <gtest/gtest.h>

namespace {

std::vector<unsigned char> BytesOf(const CByteStream& s)
{
    if (s.Size() == 0) return {};
    return std::vector<unsigned char>(s.Data(), s.Data() + s.Size());
}

using Bytes = std::vector<unsigned char>;

CByteStream StreamOf(const Bytes& bytes)
{
    CByteStream s;
    s.Assign(bytes.data(), bytes.size());
    return s;
}

} // namespace

TEST(ByteStream, NewStreamIsEmpty)
{
    CByteStream s;
    EXPECT_EQ(0u, s.Size());
    EXPECT_EQ(nullptr, s.Data());
    EXPECT_EQ(L"", s.AsWideString());
    EXPECT_EQ(0u, s.Error().GetErrorCode());
    EXPECT_TRUE(s.Error().GetErrorText().empty());
}

TEST(ByteStream, HexPairsGiveOneByteEach)
{
    CByteStream s;
    EXPECT_TRUE(s.InitFromStr(L"00ff7F", 16));
    EXPECT_EQ((Bytes{0x00, 0xFF, 0x7F}), BytesOf(s));
    EXPECT_TRUE(s.InitFromStr(L"0A1B", 16));
    EXPECT_EQ((Bytes{0x0A, 0x1B}), BytesOf(s)) << "the contents are replaced";
    EXPECT_EQ(0u, s.Error().GetErrorCode());
}

TEST(ByteStream, OddHexLengthsKeepTheAccumulatedDigit)
{
    CByteStream s;
    EXPECT_TRUE(s.InitFromStr(L"A", 16));
    EXPECT_EQ((Bytes{0x0A}), BytesOf(s));
    EXPECT_TRUE(s.InitFromStr(L"ABC", 16));
    EXPECT_EQ((Bytes{0xAB, 0xBC}), BytesOf(s));
    EXPECT_TRUE(s.InitFromStr(L"12345", 16));
    EXPECT_EQ((Bytes{0x12, 0x34, 0x45}), BytesOf(s));
}

TEST(ByteStream, BinaryGroupsOfEightMostSignificantFirst)
{
    CByteStream s;
    EXPECT_TRUE(s.InitFromStr(L"10000001", 2));
    EXPECT_EQ((Bytes{0x81}), BytesOf(s));
    EXPECT_TRUE(s.InitFromStr(L"101", 2));
    EXPECT_EQ((Bytes{0x05}), BytesOf(s));
    // A short last group lands in the low end, above it the previous group's low bits.
    EXPECT_TRUE(s.InitFromStr(L"1000000011", 2));
    EXPECT_EQ((Bytes{0x80, 0x03}), BytesOf(s));
    EXPECT_TRUE(s.InitFromStr(L"000000011", 2));
    EXPECT_EQ((Bytes{0x01, 0x03}), BytesOf(s));
    EXPECT_TRUE(s.InitFromStr(L"1111111100000000", 2));
    EXPECT_EQ((Bytes{0xFF, 0x00}), BytesOf(s));
}

TEST(ByteStream, BadCharactersKeepWhatWasAppended)
{
    CByteStream s;
    EXPECT_FALSE(s.InitFromStr(L"0G", 16));
    EXPECT_EQ(0u, s.Size()) << "no pair was completed";
    EXPECT_EQ(1u, s.Error().GetErrorCode());
    EXPECT_EQ(L"非十六进制字符串", s.Error().GetErrorText());

    EXPECT_FALSE(s.InitFromStr(L"0A0G", 16));
    EXPECT_EQ((Bytes{0x0A}), BytesOf(s));

    EXPECT_FALSE(s.InitFromStr(L"000000012", 2));
    EXPECT_EQ((Bytes{0x01}), BytesOf(s));
    EXPECT_EQ(L"非二进制字符串", s.Error().GetErrorText());
}

TEST(ByteStream, UnsupportedBaseEmptiesTheStream)
{
    CByteStream s = StreamOf({1, 2, 3});
    EXPECT_FALSE(s.InitFromStr(L"12", 10));
    EXPECT_EQ(0u, s.Size());
    EXPECT_EQ(1u, s.Error().GetErrorCode());
    EXPECT_EQ(L"不支持的转换方式", s.Error().GetErrorText());
    EXPECT_FALSE(s.InitFromStr(L"12", 8));
}

TEST(ByteStream, EmptyTextSucceedsYetRecordsTheEmptyArgument)
{
    CByteStream s = StreamOf({1});
    EXPECT_TRUE(s.InitFromStr(L"", 16));
    EXPECT_EQ(0u, s.Size());
    EXPECT_EQ(1u, s.Error().GetErrorCode());
    EXPECT_EQ(L"参数为空", s.Error().GetErrorText());
    EXPECT_TRUE(s.InitFromStr(std::wstring(L"\0" L"12", 3), 2)) << "text ends at its first zero";
    EXPECT_EQ(0u, s.Size());
}

TEST(ByteStream, AssignCopiesAndRefusesANullAddress)
{
    const unsigned char raw[] = {9, 8, 7};
    CByteStream s;
    s.Assign(raw, 3);
    EXPECT_EQ((Bytes{9, 8, 7}), BytesOf(s));
    EXPECT_NE(raw, s.Data());

    s.Assign(nullptr, 2);
    EXPECT_EQ((Bytes{9, 8, 7}), BytesOf(s));
    EXPECT_EQ(1u, s.Error().GetErrorCode());
    EXPECT_EQ(L"参数为空", s.Error().GetErrorText());

    s.Assign(s.Data() + 1, 2);
    EXPECT_EQ((Bytes{8, 7}), BytesOf(s)) << "a source inside the stream itself";
    s.Assign(raw, 0);
    EXPECT_EQ(0u, s.Size());
}

TEST(ByteStream, WideStringsAsLittleEndianCodeUnits)
{
    CByteStream s;
    s.FromWideString(L"ab");
    EXPECT_EQ((Bytes{0x61, 0x00, 0x62, 0x00}), BytesOf(s));
    EXPECT_EQ(L"ab", s.AsWideString());

    s.FromWideString(L"中\xD83D\xDE00");
    EXPECT_EQ((Bytes{0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE}), BytesOf(s));
    EXPECT_EQ(L"中\xD83D\xDE00", s.AsWideString());

    s.FromWideString(std::wstring(L"a\0b", 3));
    EXPECT_EQ((Bytes{0x61, 0x00}), BytesOf(s)) << "text ends at its first zero";
    s.FromWideString(L"");
    EXPECT_EQ(0u, s.Size());
}

TEST(ByteStream, AsWideStringStopsAtZeroAndIgnoresAnOddByte)
{
    EXPECT_EQ(L"a", StreamOf({0x61, 0x00, 0x62}).AsWideString());
    EXPECT_EQ(L"", StreamOf({0x61}).AsWideString());
    EXPECT_EQ(L"a", StreamOf({0x61, 0x00, 0x00, 0x00, 0x62, 0x00}).AsWideString());
    EXPECT_EQ(L"\x4E2D", StreamOf({0x2D, 0x4E}).AsWideString());
}

TEST(ByteStream, Int32LeastSignificantByteFirst)
{
    CByteStream s;
    s.FromInt32(0x01020304);
    EXPECT_EQ((Bytes{0x04, 0x03, 0x02, 0x01}), BytesOf(s));
    s.FromInt32(-1);
    EXPECT_EQ((Bytes{0xFF, 0xFF, 0xFF, 0xFF}), BytesOf(s));
    s.FromInt32(INT32_MIN);
    EXPECT_EQ((Bytes{0x00, 0x00, 0x00, 0x80}), BytesOf(s));
}

TEST(ByteStream, AppendAndClear)
{
    CByteStream s;
    for (int i = 0; i < 1000; ++i) s.Append(static_cast<unsigned char>(i));
    ASSERT_EQ(1000u, s.Size());
    EXPECT_EQ(0xE7, s.Data()[999]);
    s.Clear();
    EXPECT_EQ(0u, s.Size());
    EXPECT_EQ(nullptr, s.Data());
    s.Append(5);
    EXPECT_EQ((Bytes{5}), BytesOf(s));
}

TEST(ByteStream, EqualsComparesCountAndBytes)
{
    EXPECT_TRUE(CByteStream().Equals(CByteStream()));
    EXPECT_TRUE(StreamOf({1, 2}).Equals(StreamOf({1, 2})));
    EXPECT_FALSE(StreamOf({1, 2}).Equals(StreamOf({1, 3})));
    EXPECT_FALSE(StreamOf({1, 2}).Equals(StreamOf({1, 2, 0})));
    EXPECT_FALSE(StreamOf({}).Equals(StreamOf({0})));
}

TEST(ByteStream, CopiesOwnTheirBytes)
{
    CByteStream a = StreamOf({1, 2, 3});
    CByteStream b = a;
    b.Append(4);
    EXPECT_EQ((Bytes{1, 2, 3}), BytesOf(a));
    EXPECT_EQ((Bytes{1, 2, 3, 4}), BytesOf(b));
}

TEST(ByteStream, SuccessLeavesAnEarlierFailureInTheRecord)
{
    CByteStream s;
    EXPECT_FALSE(s.InitFromStr(L"zz", 16));
    EXPECT_TRUE(s.InitFromStr(L"12", 16));
    s.FromInt32(7);
    EXPECT_EQ(1u, s.Error().GetErrorCode());
    EXPECT_EQ(L"非十六进制字符串", s.Error().GetErrorText());
}
