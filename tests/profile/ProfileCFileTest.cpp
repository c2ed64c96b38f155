#include "profile/ProfileCFile.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/common/TestFiles.h"

namespace {

// UTF-16 LE bytes of the lines, each ended by CR LF, no byte-order mark.
std::string Utf16File(const StringList& lines)
{
    std::string bytes;
    for (const std::wstring& line : lines) {
        for (wchar_t c : line + L"\r\n") {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>((c >> 8) & 0xFF);
        }
    }
    return bytes;
}

// Comments, blanks, odd lines, spacing, duplicate sections and keys, as people leave them.
const StringList kMixedLines = {
    L";first comment",
    L"  ; second comment  ",
    L"top = before any section",
    L"[General]",
    L" key1 = value one ; not a comment ",
    L"key2=a=b",
    L"odd line without equals",
    L"=starts with equals",
    L"",
    L"[Other] trailing",
    L"[Other] x=1",
    L"[ Spaced ]",
    L"dup=1",
    L"dup=2",
    L"[General]",
    L"onlyInSecond=x",
    L"[]",
    L"[",
    L"\ttabbed=1",
    L"; trailing comment",
    L"   ",
};

StringList Lines(const CProfileCFile& profile)
{
    StringList lines;
    profile.GetLines(lines);
    return lines;
}

} // namespace

TEST(ProfileCFile, UnicodeFileComesBackByteForByteAndParsesAsWritten)
{
    CTempDir dir;
    const std::string original = Utf16File(kMixedLines);
    WriteFileBytes(dir.File(L"in.ini"), original);

    CProfileCFile profile;
    ASSERT_TRUE(profile.Open(dir.File(L"in.ini"), true));
    EXPECT_EQ(dir.File(L"in.ini"), profile.GetPath());
    EXPECT_EQ(kMixedLines, Lines(profile)) << "every line, the first comment included, is kept";
    ASSERT_TRUE(profile.SaveAs(dir.File(L"out.ini")));
    EXPECT_EQ(original, ReadFileBytes(dir.File(L"out.ini")));
    ASSERT_TRUE(profile.Save());
    EXPECT_EQ(original, ReadFileBytes(dir.File(L"in.ini")));

    EXPECT_EQ(L" second comment", profile.GetComment());
    EXPECT_EQ(L"value one ; not a comment", profile.GetString(L"General", L"key1", L"-"));
    EXPECT_EQ(L"a=b", profile.GetString(L"General", L"key2", L"-"));
    EXPECT_EQ(L"-", profile.GetString(L"general", L"key1", L"-"));
    // Only the first block of a section is searched; the whole document when none is named.
    EXPECT_EQ(L"-", profile.GetString(L"General", L"onlyInSecond", L"-"));
    EXPECT_EQ(L"x", profile.GetString(L"", L"onlyInSecond", L"-"));
    EXPECT_EQ(L"before any section", profile.GetString(L"", L"top", L"-"));
    EXPECT_EQ(L"1", profile.GetString(L"Spaced", L"dup", L"-"));
    EXPECT_EQ(L"1", profile.GetString(L"", L"[Other] x", L"-"));

    SectionIterator it;
    profile.FirstSection(it);
    StringList sections;
    while (!it.end) sections.push_back(profile.NextSection(it));
    EXPECT_EQ((StringList{L"General", L"Spaced", L"General"}), sections);
    EXPECT_EQ(L"", profile.NextSection(it));

    ProfileLines entries(3);
    ASSERT_EQ(2u, profile.GetSection(L"Spaced", entries));
    EXPECT_EQ(L"dup", entries[1].key);
    EXPECT_EQ(L"2", entries[1].value);
    EXPECT_TRUE(entries[1].line.empty() && entries[1].section.empty());
}

TEST(ProfileCFile, AnsiFileComesBackByteForByteInTheSystemCodePage)
{
    if (ExpectedCodePage() != 0) {
        ASSERT_EQ(ExpectedCodePage(), GetACP());
    }
    std::string bytes;
    std::wstring section, key, value;
    if (GetACP() == 936) {
        // [设置] / 路径=C:\目录\文件.js in GBK
        bytes = "[\xC9\xE8\xD6\xC3]\r\n;\xC9\xE8\r\n\xC2\xB7\xBE\xB6 = C:\\\xC4\xBF\xC2\xBC\\\xCE\xC4\xBC\xFE.js\r\n\r\n";
        section = L"设置";
        key = L"路径";
        value = L"C:\\目录\\文件.js";
    } else {
        ASSERT_EQ(1252u, GetACP());
        bytes = "[R\xE9glages]\r\n;\xE9t\xE9\r\nchemin = C:\\\xE9t\xE9\\x.js\r\n\r\n";
        section = L"Réglages";
        key = L"chemin";
        value = L"C:\\été\\x.js";
    }
    CTempDir dir;
    WriteFileBytes(dir.File(L"a.ini"), bytes);
    CProfileCFile profile;
    ASSERT_TRUE(profile.Open(dir.File(L"a.ini"), false));
    EXPECT_FALSE(profile.IsUnicode());
    EXPECT_EQ(value, profile.GetString(section, key, L"-"));
    ASSERT_TRUE(profile.SaveAs(dir.File(L"b.ini")));
    EXPECT_EQ(bytes, ReadFileBytes(dir.File(L"b.ini")));
}

TEST(ProfileCFile, LeadingCommentAndByteOrderMark)
{
    CTempDir dir;
    CProfileCFile profile;
    // A blank line ends the leading comment region; the comment after it is an ordinary line.
    ASSERT_TRUE(profile.OpenFromLines({L"", L";late", L"[S]"}));
    EXPECT_EQ(L"", profile.GetComment());
    ASSERT_TRUE(profile.SetComment(L"new"));
    EXPECT_EQ((StringList{L";new", L"", L";late", L"[S]"}), Lines(profile));

    ASSERT_TRUE(profile.OpenFromLines({L";one", L";two", L"[S]", L"k=v"}));
    ASSERT_TRUE(profile.SetComment(L"2"));
    EXPECT_EQ(L"2", profile.GetComment());
    EXPECT_EQ((StringList{L";one", L";2", L"[S]", L"k=v"}), Lines(profile));
    ASSERT_TRUE(profile.SetComment(L""));
    EXPECT_EQ((StringList{L";one", L"[S]", L"k=v"}), Lines(profile));
    EXPECT_FALSE(profile.SetComment(L"a\r\n[Injected]"));
    EXPECT_EQ(1u, profile.Error().GetErrorCode());

    // Notepad's "Unicode" files start with a byte-order mark; it must not hide the first section.
    const std::string withMark = "\xFF\xFE" + Utf16File({L"[S]", L"k=v"});
    WriteFileBytes(dir.File(L"bom.ini"), withMark);
    ASSERT_TRUE(profile.Open(dir.File(L"bom.ini"), true));
    EXPECT_EQ(L"v", profile.GetString(L"S", L"k", L"-"));
    ASSERT_TRUE(profile.Save());
    EXPECT_EQ(withMark, ReadFileBytes(dir.File(L"bom.ini")));
    ASSERT_TRUE(profile.SetComment(L"c"));
    ASSERT_TRUE(profile.Save());
    EXPECT_EQ("\xFF\xFE" + Utf16File({L";c", L"[S]", L"k=v"}), ReadFileBytes(dir.File(L"bom.ini")));
}

TEST(ProfileCFile, SetStringChangesTheFirstBlockAndPlacesNewKeysAfterItsLastKey)
{
    CProfileCFile profile;
    ASSERT_TRUE(profile.OpenFromLines({L"top=1", L"[A]", L" a1 = 1  ; old", L"a2=2", L"", L"; about B", L"[B]",
                                       L"[A]", L"late=1", L""}));
    ASSERT_TRUE(profile.SetString(L"A", L"a1", L"new"));
    ASSERT_TRUE(profile.SetString(L"A", L"a3", L" padded "));
    ASSERT_TRUE(profile.SetString(L"B", L"b1", L"x"));
    ASSERT_TRUE(profile.SetString(L"A", L"late", L"2"));
    ASSERT_TRUE(profile.SetInt(L"C", L"n", -42));
    EXPECT_EQ((StringList{L"top=1", L"[A]", L"a1=new", L"a2=2", L"a3= padded ", L"late=2", L"", L"; about B", L"[B]",
                          L"b1=x", L"[A]", L"late=1", L"", L"[C]", L"n=-42"}),
              Lines(profile));
    EXPECT_EQ(L" padded ", profile.GetString(L"A", L"a3", L"-")) << "trimmed only when read again";

    const StringList before = Lines(profile);
    EXPECT_FALSE(profile.SetString(L"", L"k", L"v"));
    EXPECT_EQ(L"Section或key未指定", profile.Error().GetErrorText());
    // A line break would turn the rest of the value into lines of their own on the next read.
    EXPECT_FALSE(profile.SetString(L"A", L"a1", L"x\r\n[Injected]\r\nk=v"));
    EXPECT_FALSE(profile.SetString(L"A", std::wstring(L"a\0b", 3), L"x"));
    EXPECT_EQ(before, Lines(profile));

    // A key before the first section is out of reach of every named section.
    profile.DeleteKey(L"A", L"top");
    EXPECT_EQ(L"1", profile.GetString(L"", L"top", L"-"));
    profile.DeleteKey(L"", L"top");
    EXPECT_EQ(L"-", profile.GetString(L"", L"top", L"-"));
    profile.DeleteKey(L"A", L"late");
    EXPECT_EQ(L"1", profile.GetString(L"", L"late", L"-")) << "the second block's key stays";
}

TEST(ProfileCFile, NumbersDefaultsErrorTextsAndFailedOpen)
{
    CProfileCFile profile;
    ASSERT_TRUE(profile.OpenFromLines({L"[N]", L"lead=12abc", L"word=abc", L"empty=", L"sign= -7"}));
    EXPECT_EQ(12, profile.GetInt(L"N", L"lead", 5));
    EXPECT_EQ(0, profile.GetInt(L"N", L"word", 5));
    EXPECT_EQ(5, profile.GetInt(L"N", L"empty", 5));
    EXPECT_EQ(5, profile.GetInt(L"N", L"missing", 5));
    EXPECT_EQ(-7, profile.GetInt(L"N", L"sign", 5));

    EXPECT_EQ(L"d", profile.GetString(L"N", L"", L"d"));
    EXPECT_EQ(L"key 未指定", profile.Error().GetErrorText());
    EXPECT_EQ(1u, profile.Error().GetErrorCode());
    EXPECT_EQ(L"d", profile.GetString(L"N", L"missing", L"d"));
    EXPECT_EQ(0u, profile.Error().GetErrorCode()) << "a missing key is no error";

    ProfileLines entries(1);
    EXPECT_EQ(0u, profile.GetSection(L"", entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(L"Setion 未指定", profile.Error().GetErrorText());
    profile.DeleteKey(L"N", L"");
    EXPECT_EQ(L"key 未指定", profile.Error().GetErrorText());

    // After OpenFromLines there is no path to save to.
    EXPECT_FALSE(profile.Save());
    EXPECT_EQ(L"sPath未指定", profile.Error().GetErrorText());

    // A failed open leaves an empty document, no path and the encoding of the last good one.
    CTempDir dir;
    WriteFileBytes(dir.File(L"a.ini"), "[S]\r\nk=v\r\n");
    ASSERT_TRUE(profile.IsUnicode());
    ASSERT_TRUE(profile.Open(dir.File(L"a.ini"), false));
    EXPECT_FALSE(profile.Open(dir.File(L"missing.ini"), true));
    EXPECT_TRUE(profile.GetRecords().empty() && profile.GetPath().empty());
    EXPECT_FALSE(profile.IsUnicode());
    SectionIterator it;
    profile.FirstSection(it);
    EXPECT_TRUE(it.end);
}

TEST(ProfileCFile, FailedSaveLeavesTheOldFileAsItWas)
{
    CTempDir dir;
    const std::wstring path = dir.File(L"autorender_in_ie.ini");
    const std::string old = Utf16File({L"[AutoRenderInIE]", L"ScriptPath=C:\\a long old path\\Autorender in IE.js"});
    WriteFileBytes(path, old);

    CProfileCFile profile;
    ASSERT_TRUE(profile.SetString(L"AutoRenderInIE", L"ScriptPath", L"D:\\s.js"));
    const std::string fresh = Utf16File({L"[AutoRenderInIE]", L"ScriptPath=D:\\s.js"});

    // Under Wine the read-only file can still be opened for writing (as root); the step that
    // refuses is the replacement, which is what matters here.
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(profile.SaveAs(path));
    EXPECT_NE(0u, profile.Error().GetErrorCode());
    EXPECT_EQ(old, ReadFileBytes(path));
    EXPECT_EQ(L"autorender_in_ie.ini;", ListFolder(dir.Path())) << "no temporary file is left behind";

    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(profile.SaveAs(path));
    EXPECT_EQ(fresh, ReadFileBytes(path)) << "the shorter content leaves nothing of the old one";

    EXPECT_FALSE(profile.SaveAs(dir.File(L"no such folder\\x.ini")));
    EXPECT_NE(0u, profile.Error().GetErrorCode());
    EXPECT_FALSE(PathExists(dir.File(L"no such folder")));
    EXPECT_EQ(L"autorender_in_ie.ini;", ListFolder(dir.Path()));
}

TEST(ProfileCFile, AnUnchangedDocumentSavesToTheSameRecords)
{
    // Opened, saved unchanged and opened again the same way, a document has the same records,
    // and saving it again writes the same bytes.
    enum class How { Utf16, Ansi, ItsEncoding };
    const struct {
        const char* name;
        std::string bytes;
        How how;
    } cases[] = {
        {"only a mark, in its encoding", "\xFF\xFE", How::ItsEncoding},
        {"only a mark, as UTF-16", "\xFF\xFE", How::Utf16},
        {"only a UTF-8 mark", "\xEF\xBB\xBF", How::ItsEncoding},
        {"a mark and an empty line", std::string("\xFF\xFE\r\0\n\0", 6), How::ItsEncoding},
        {"a mark and an unended line", "\xFF\xFE" + Utf16File({L"[S]"}).substr(0, 6), How::ItsEncoding},
        {"nothing at all", "", How::ItsEncoding},
        {"an empty line", "\r\n", How::Ansi},
        {"a comment alone", ";c", How::Ansi},
    };
    CTempDir dir;
    const std::wstring path = dir.File(L"a.ini");
    auto open = [&](CProfileCFile& profile, How how) {
        return how == How::ItsEncoding ? profile.OpenInItsEncoding(path) : profile.Open(path, how == How::Utf16);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(path, c.bytes);
        CProfileCFile first;
        ASSERT_TRUE(open(first, c.how));
        ASSERT_TRUE(first.Save());
        const std::string saved = ReadFileBytes(path);
        CProfileCFile second;
        ASSERT_TRUE(open(second, c.how));
        EXPECT_EQ(Lines(first), Lines(second));
        EXPECT_EQ(first.GetRecords().size(), second.GetRecords().size());
        ASSERT_TRUE(second.Save());
        EXPECT_EQ(saved, ReadFileBytes(path));
    }
}
