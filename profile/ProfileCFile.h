#pragma once
// An INI-style file held as its list of lines, so that values can be read and changed by
// section and key while every other line (comments, blank lines, text the parser does not
// understand) stays where it was and is written back byte for byte.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/LastError.h"
#include "support/TextEdit.h"
#include "textio/TextStream.h"

struct ProfileLine {
    std::wstring line;      // written back as it stands
    std::wstring section;   // trimmed name, for a section header
    std::wstring key;       // trimmed key, for a key line
    std::wstring value;     // trimmed value when parsed, as given when set

    bool IsSection() const { return !section.empty(); }
    bool IsKey() const { return !key.empty(); }
};

using ProfileLines = std::vector<ProfileLine>;

// A position among the section headers of one document.
struct SectionIterator {
    size_t pos = 0;
    bool end = true;
};

class CProfileCFile {
public:
    CProfileCFile() = default;

    // Reads the file in UTF-16 LE (unicode) or the ANSI code page. False when it cannot be
    // opened or read to its end; the document is then empty.
    bool Open(const std::wstring& path, bool unicode);
    // Reads the file in the encoding it has (CTextFile::OpenText), among the choices its kind of
    // file allows (EncodingChoice; by default any: the program's own file is UTF-16 LE without a
    // mark, one saved by hand often UTF-8). The unicode flag becomes true: a save writes UTF-16
    // LE, which holds whatever was read. False as Open, with the system's reason in Error().
    bool OpenInItsEncoding(const std::wstring& path, unsigned choices = kMayBeUtf16 | kMayBeUtf8 | kMayBeAnsi);
    // Takes lines that the caller has read itself; path and encoding stay as they are.
    bool OpenFromLines(const StringList& lines);
    // Empties the document and forgets the path; the encoding stays.
    void Clear();

    // Names are matched as written unless set here to match also in another letter case, as
    // Windows' own profile functions do: a section or key written exactly as asked still comes
    // first; only where there is none does the first that differs in the case of A-Z count.
    // Opening or clearing the document keeps the setting.
    void SetNamesIgnoreCase(bool ignoreCase) { namesIgnoreCase_ = ignoreCase; }

    // Lookups take the first match in document order. An empty section searches the whole
    // document; a named one only the block of its first header.
    std::wstring GetString(const std::wstring& section, const std::wstring& key, const std::wstring& defaultValue);
    int32_t GetInt(const std::wstring& section, const std::wstring& key, int32_t defaultValue);
    // Changes the key in the first block of the section, or adds it after the block's last key
    // line, or adds the section and the key at the end of the document. Names and values with
    // a line break (CR, LF, NUL) are refused: they would come back as lines of their own.
    bool SetString(const std::wstring& section, const std::wstring& key, const std::wstring& value);
    bool SetInt(const std::wstring& section, const std::wstring& key, int32_t value);
    void DeleteKey(const std::wstring& section, const std::wstring& key);
    // The key lines of the section's first block, as records holding key and value only.
    size_t GetSection(const std::wstring& section, ProfileLines& out);

    void FirstSection(SectionIterator& it);
    // The name at the iterator (empty at the end); then moves to the next section header.
    std::wstring NextSection(SectionIterator& it);

    // The file's leading comment, without its ";". Setting an empty text removes the line; a
    // text with a line break is refused.
    bool SetComment(const std::wstring& text);
    std::wstring GetComment() const;

    // The lines SaveAs would write, in order, each with a line end; but a document of a mark and
    // no record, which SaveAs writes as the mark alone.
    void GetLines(StringList& out) const;
    bool Save();
    // Replaces the file at path in one step; on failure the old file stays as it was.
    bool SaveAs(const std::wstring& path);

    // The records as parsed; a leading byte-order mark is held apart from the first line.
    const ProfileLines& GetRecords() const { return lines_; }
    const std::wstring& GetPath() const { return path_; }
    bool IsUnicode() const { return unicode_; }
    const CLastError& Error() const { return error_; }

private:
    // headerRegion is true until the first line that is not a leading comment.
    void ParseLine(std::wstring line, bool& headerRegion);
    // Parses every line of the stream; false (the document empty) when it cannot be read to its end.
    bool ParseStream(CTextStream& in);
    // Index of the first section header at or after start, or the document's size.
    size_t NextSectionHeader(size_t start) const;
    // Index of the first header named section (as SetNamesIgnoreCase says), or npos.
    size_t FindSection(const std::wstring& section) const;
    // The first key line with that key, searched as GetString does; npos when there is none.
    size_t FindKey(const std::wstring& section, const std::wstring& key) const;
    // The same among the records from first up to end.
    size_t FindKeyIn(size_t first, size_t end, const std::wstring& key) const;

    CLastError error_;
    ProfileLines lines_;
    std::wstring path_;
    // The record that holds the leading comment (the last of the file's leading ";" lines),
    // or npos. Earlier leading comments stay as ordinary lines, so nothing is lost on saving.
    size_t commentIndex_ = std::wstring::npos;
    // The file began with a byte-order mark; it is written back in front of the first line.
    bool leadingBom_ = false;
    bool unicode_ = true;
    bool namesIgnoreCase_ = false;
};
