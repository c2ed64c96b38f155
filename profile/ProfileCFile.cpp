#include "profile/ProfileCFile.h"

#include <algorithm>

#include "support/Charset.h"
#include "support/Format.h"
#include "textio/AtomicFileWriter.h"
#include "textio/TextFile.h"
#include "textio/TextStream.h"

namespace {

const size_t npos = std::wstring::npos;
const wchar_t kByteOrderMark = 0xFEFF;

const wchar_t kNoKey[] = L"key 未指定";
const wchar_t kNoSectionOrKey[] = L"Section或key未指定";
const wchar_t kNoSection[] = L"Setion 未指定";
const wchar_t kNoPath[] = L"sPath未指定";
const wchar_t kLineBreak[] = L"Section、key或值含有换行符";

// What the parser looks at: the text without its surrounding spaces (tabs count as text).
std::wstring Trimmed(std::wstring text)
{
    TrimChar(text, L' ');
    return text;
}

// A line break inside a name or value would turn into a line of its own the next time the
// file is read.
bool BreaksLine(const std::wstring& text)
{
    return std::any_of(text.begin(), text.end(), [](wchar_t unit) { return EndsFileLine(unit); });
}

ProfileLine MakeKeyLine(const std::wstring& key, const std::wstring& value)
{
    ProfileLine record;
    record.line = key + L"=" + value;
    record.key = key;
    record.value = value;
    return record;
}

} // namespace

void CProfileCFile::Clear()
{
    lines_.clear();
    path_.clear();
    commentIndex_ = npos;
    leadingBom_ = false;
}

void CProfileCFile::ParseLine(std::wstring line, bool& headerRegion)
{
    // A byte-order mark reaches us as the first character of the first line. Kept aside, it
    // neither hides a first section header nor gets lost when the file is written back.
    if (lines_.empty() && !leadingBom_ && !line.empty() && line[0] == kByteOrderMark) {
        leadingBom_ = true;
        line.erase(0, 1);
    }
    const std::wstring text = Trimmed(line);
    ProfileLine record;
    record.line = line;

    if (headerRegion && !text.empty() && text[0] == L';') {
        commentIndex_ = lines_.size();
        lines_.push_back(std::move(record));
        return;
    }
    headerRegion = false;

    if (text.empty() || text[0] == L';') {
        // blank line or comment
    } else if (text.size() >= 2 && text.front() == L'[' && text.back() == L']') {
        // An empty name leaves this an ordinary line.
        record.section = Trimmed(text.substr(1, text.size() - 2));
    } else {
        size_t equals = text.find(L'=');
        if (equals != npos && equals > 0) {
            record.key = Trimmed(text.substr(0, equals));
            record.value = Trimmed(text.substr(equals + 1));
        }
    }
    lines_.push_back(std::move(record));
}

bool CProfileCFile::ParseStream(CTextStream& in)
{
    bool headerRegion = true;
    std::wstring line;
    while (in.ReadLine(line)) ParseLine(line, headerRegion);
    if (in.HasError()) {
        // Half a document saved back later would drop the rest of the file.
        Clear();
        error_ = in.Error();
        return false;
    }
    return true;
}

bool CProfileCFile::Open(const std::wstring& path, bool unicode)
{
    Clear();
    CTextFile file(path, kOpenRead, unicode);
    if (!file.IsOpen()) {
        error_ = file.Error();
        return false;
    }
    if (!ParseStream(file)) return false;
    unicode_ = unicode;
    path_ = path;
    return true;
}

bool CProfileCFile::OpenInItsEncoding(const std::wstring& path, unsigned choices)
{
    Clear();
    CTextFile file;
    if (!file.OpenText(path, choices)) {
        error_ = file.Error();
        return false;
    }
    if (!ParseStream(file)) return false;
    leadingBom_ = file.HadByteOrderMark();
    unicode_ = true;
    path_ = path;
    return true;
}

bool CProfileCFile::OpenFromLines(const StringList& lines)
{
    Clear();
    bool headerRegion = true;
    for (const std::wstring& line : lines) ParseLine(line, headerRegion);
    return true;
}

size_t CProfileCFile::NextSectionHeader(size_t start) const
{
    for (size_t i = start; i < lines_.size(); ++i) {
        if (lines_[i].IsSection()) return i;
    }
    return lines_.size();
}

size_t CProfileCFile::FindSection(const std::wstring& section) const
{
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].IsSection() && lines_[i].section == section) return i;
    }
    if (!namesIgnoreCase_) return npos;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].IsSection() && CompareNoCase(lines_[i].section, section) == 0) return i;
    }
    return npos;
}

size_t CProfileCFile::FindKeyIn(size_t first, size_t end, const std::wstring& key) const
{
    for (size_t i = first; i < end; ++i) {
        if (lines_[i].IsKey() && lines_[i].key == key) return i;
    }
    if (!namesIgnoreCase_) return npos;
    for (size_t i = first; i < end; ++i) {
        if (lines_[i].IsKey() && CompareNoCase(lines_[i].key, key) == 0) return i;
    }
    return npos;
}

size_t CProfileCFile::FindKey(const std::wstring& section, const std::wstring& key) const
{
    size_t first = 0;
    size_t end = lines_.size();
    if (!section.empty()) {
        size_t header = FindSection(section);
        if (header == npos) return npos;
        first = header + 1;
        end = NextSectionHeader(first);
    }
    return FindKeyIn(first, end, key);
}

std::wstring CProfileCFile::GetString(const std::wstring& section, const std::wstring& key,
                                      const std::wstring& defaultValue)
{
    error_.ClearError();
    if (key.empty()) {
        error_.SetError(kNoKey, kErrOwn);
        return defaultValue;
    }
    size_t at = FindKey(section, key);
    return at == npos ? defaultValue : lines_[at].value;
}

int32_t CProfileCFile::GetInt(const std::wstring& section, const std::wstring& key, int32_t defaultValue)
{
    std::wstring text = GetString(section, key, std::wstring());
    if (text.empty()) return defaultValue;
    return TextToInt(text);
}

bool CProfileCFile::SetString(const std::wstring& section, const std::wstring& key, const std::wstring& value)
{
    error_.ClearError();
    if (section.empty() || key.empty()) {
        error_.SetError(kNoSectionOrKey, kErrOwn);
        return false;
    }
    if (BreaksLine(section) || BreaksLine(key) || BreaksLine(value)) {
        error_.SetError(kLineBreak, kErrOwn);
        return false;
    }

    size_t header = FindSection(section);
    if (header == npos) {
        ProfileLine headerLine;
        headerLine.line = L"[" + section + L"]";
        headerLine.section = section;
        lines_.push_back(std::move(headerLine));
        lines_.push_back(MakeKeyLine(key, value));
        return true;
    }

    size_t end = NextSectionHeader(header + 1);
    const size_t found = FindKeyIn(header + 1, end, key);
    if (found != npos) {
        lines_[found] = MakeKeyLine(lines_[found].key, value);
        return true;
    }
    // A new key goes after the block's last key line, ahead of trailing blanks and comments,
    // which usually belong to whatever follows.
    size_t at = end;
    while (at > header + 1 && !lines_[at - 1].IsKey() && !lines_[at - 1].IsSection()) --at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), MakeKeyLine(key, value));
    return true;
}

bool CProfileCFile::SetInt(const std::wstring& section, const std::wstring& key, int32_t value)
{
    return SetString(section, key, IntToText(value, 10));
}

void CProfileCFile::DeleteKey(const std::wstring& section, const std::wstring& key)
{
    error_.ClearError();
    if (key.empty()) {
        error_.SetError(kNoKey, kErrOwn);
        return;
    }
    size_t at = FindKey(section, key);
    if (at != npos) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(at));
}

size_t CProfileCFile::GetSection(const std::wstring& section, ProfileLines& out)
{
    error_.ClearError();
    out.clear();
    if (section.empty()) {
        error_.SetError(kNoSection, kErrOwn);
        return 0;
    }
    size_t header = FindSection(section);
    if (header == npos) return 0;
    size_t end = NextSectionHeader(header + 1);
    for (size_t i = header + 1; i < end; ++i) {
        if (!lines_[i].IsKey()) continue;
        ProfileLine entry;
        entry.key = lines_[i].key;
        entry.value = lines_[i].value;
        out.push_back(std::move(entry));
    }
    return out.size();
}

void CProfileCFile::FirstSection(SectionIterator& it)
{
    error_.ClearError();
    it.pos = NextSectionHeader(0);
    it.end = it.pos >= lines_.size();
}

std::wstring CProfileCFile::NextSection(SectionIterator& it)
{
    error_.ClearError();
    if (it.end || it.pos >= lines_.size()) {
        it.end = true;
        return std::wstring();
    }
    std::wstring name = lines_[it.pos].section;
    it.pos = NextSectionHeader(it.pos + 1);
    it.end = it.pos >= lines_.size();
    return name;
}

bool CProfileCFile::SetComment(const std::wstring& text)
{
    if (BreaksLine(text)) {
        error_.SetError(kLineBreak, kErrOwn);
        return false;
    }
    if (text.empty()) {
        if (commentIndex_ != npos) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(commentIndex_));
        commentIndex_ = npos;
        return true;
    }
    ProfileLine record;
    record.line = L";" + text;
    if (commentIndex_ != npos) {
        lines_[commentIndex_] = std::move(record);
    } else {
        lines_.insert(lines_.begin(), std::move(record));
        commentIndex_ = 0;
    }
    return true;
}

std::wstring CProfileCFile::GetComment() const
{
    if (commentIndex_ == npos) return std::wstring();
    std::wstring text = Trimmed(lines_[commentIndex_].line);
    return text.empty() ? text : text.substr(1);
}

void CProfileCFile::GetLines(StringList& out) const
{
    out.clear();
    out.reserve(lines_.size() + 1);
    for (const ProfileLine& record : lines_) out.push_back(record.line);
    if (leadingBom_) {
        if (out.empty()) out.emplace_back();
        out.front().insert(out.front().begin(), kByteOrderMark);
    }
}

bool CProfileCFile::Save()
{
    return SaveAs(path_);
}

bool CProfileCFile::SaveAs(const std::wstring& path)
{
    if (path.empty()) {
        error_.SetError(kNoPath, kErrOwn);
        return false;
    }
    StringList lines;
    GetLines(lines);
    // A document of a mark and no line is the mark alone: with a line end it would read back as
    // a document of one empty line.
    const bool markAlone = lines_.empty() && leadingBom_;
    return SaveTextFileAtomically(
        path, unicode_,
        [&lines, markAlone](CTextStream& out) {
            if (markAlone) {
                std::string mark;
                EncodeText(lines.front(), out.Encoding(), mark);
                return out.WriteBytes(mark.data(), mark.size());
            }
            for (const std::wstring& line : lines) {
                if (!out.WriteLine(line)) return false;
            }
            return true;
        },
        error_);
}
