#include "script/AutoRender.h"

#include <algorithm>
#include <utility>

#include "textio/AtomicFileWriter.h"
#include "textio/RunLog.h"
#include "textio/TextFile.h"

CAutoRender g_autoRender;

namespace {

const wchar_t kIncludePrefix[] = L"//@include ";
const wchar_t kExcludePrefix[] = L"//@exclude ";

enum class LineKind { NotComment, OtherComment, Include, Exclude };

// Header line classes. A pattern line is "//", "@include " or "@exclude " (one space, case
// as written) with spaces allowed around "//"; its pattern keeps its leading spaces. Works on
// positions rather than copies: a script may have a million header lines.
LineKind Classify(const std::wstring& line, size_t& patternStart, size_t& patternLength)
{
    size_t first = line.find_first_not_of(L' ');
    if (first == std::wstring::npos || line.compare(first, 2, L"//") != 0) return LineKind::NotComment;
    size_t last = line.find_last_not_of(L' ');  // the text ends at last, inclusive
    size_t key = line.find_first_not_of(L' ', first + 2);
    const size_t keyLength = 9;
    if (key == std::wstring::npos || key + keyLength > last) return LineKind::OtherComment;
    LineKind kind;
    if (line.compare(key, keyLength, L"@include ") == 0) {
        kind = LineKind::Include;
    } else if (line.compare(key, keyLength, L"@exclude ") == 0) {
        kind = LineKind::Exclude;
    } else {
        return LineKind::OtherComment;
    }
    patternStart = key + keyLength;
    patternLength = last + 1 - patternStart;
    return kind;
}

// Length of the text without its trailing CR and LF characters (only those): they are not part
// of the last pattern.
size_t LengthWithoutLineEnds(const std::wstring& text)
{
    size_t end = text.find_last_not_of(L"\r\n");
    return end == std::wstring::npos ? 0 : end + 1;
}

// Writes prefix + piece for every non-empty piece of text between line breaks (CR LF, or a lone
// CR or LF, so that no pattern can make a line of its own without its prefix).
bool WritePatternLines(CTextStream& out, const wchar_t* prefix, const std::wstring& text)
{
    std::wstring line;
    const size_t size = text.size();
    size_t pos = 0;
    while (pos < size) {
        // A plain loop: find_first_of with a set is many times slower on a million patterns.
        size_t end = pos;
        while (end < size && text[end] != L'\r' && text[end] != L'\n') ++end;
        if (end > pos) {
            line.assign(prefix);
            line.append(text, pos, end - pos);
            if (!out.WriteLine(line)) return false;
        }
        pos = end + 1;
    }
    return true;
}

// The state of one kind of pattern while the header is read: whether its block was met, where
// it stood among the kept lines, and its patterns.
struct PatternBlock {
    bool seen = false;
    int32_t pos = -1;
    std::wstring text;
};

} // namespace

bool CAutoRender::Init(const std::wstring& path)
{
    g_runLog.Printf(L"%s:[%d]", L"CAutoRender::Init", 15);
    CTextFile file;
    if (!file.Open(path, kOpenRead, false)) {
        g_runLog.WriteFormat(L"can not open javascript[%s]", path);
        error_ = file.Error();
        return false;
    }
    if (!Read(file, path)) return false;
    file.Close();
    g_runLog.Printf(L"%s:[%d]", L"CAutoRender::Init", 145);
    return true;
}

bool CAutoRender::Read(CTextStream& in, const std::wstring& path)
{
    // Parsed into locals first: a read that fails half-way changes nothing.
    StringList kept;
    PatternBlock include;
    PatternBlock exclude;
    const PatternBlock* current = nullptr;  // the block being read; null outside any
    bool headerEnded = false;

    std::wstring line;
    size_t patternStart = 0;
    size_t patternLength = 0;
    while (in.ReadLine(line)) {
        g_runLog.WriteFormat(L"Line[%s]", line);
        if (headerEnded) {
            kept.push_back(std::move(line));
            continue;
        }
        const LineKind kind = Classify(line, patternStart, patternLength);
        if (kind == LineKind::NotComment || kind == LineKind::OtherComment) {
            headerEnded = kind == LineKind::NotComment;
            current = nullptr;
            kept.push_back(std::move(line));
            continue;
        }
        PatternBlock& block = kind == LineKind::Include ? include : exclude;
        if (current != &block) {
            if (block.seen) {
                // A later block of a kind already taken, directly after the other block or
                // not, stays in the file as ordinary lines and ends the current block.
                current = nullptr;
                kept.push_back(std::move(line));
                continue;
            }
            block.seen = true;
            block.pos = static_cast<int32_t>(kept.size());
            current = &block;
        }
        block.text.append(line, patternStart, patternLength).append(L"\r\n");
    }
    if (in.HasError()) {
        error_.SetError(L"File Read Failed.", ERROR_READ_FAULT);
        return false;
    }

    scriptPath_ = path;
    includePos_ = include.pos;
    excludePos_ = exclude.pos;
    keptLines_.swap(kept);
    includeText.swap(include.text);
    excludeText.swap(exclude.text);
    return true;
}

bool CAutoRender::WriteScript(CTextStream& out) const
{
    // Empty pieces are dropped, so trailing line ends need no trimming here.
    const std::wstring& include = includeText;
    const std::wstring& exclude = excludeText;
    const size_t count = keptLines_.size();
    // Each block goes back before the kept line that followed it. A kind the file had no block
    // of goes to the very top; blocks at the same place are written include block first,
    // unless only the exclude kind is missing, which then stands above the include block.
    auto placeOf = [count](int32_t pos) { return pos < 0 ? 0 : std::min(static_cast<size_t>(pos), count); };
    const size_t includeAt = placeOf(includePos_);
    const size_t excludeAt = placeOf(excludePos_);
    const bool includeFirst = !(excludePos_ < 0 && includePos_ >= 0);

    for (size_t i = 0; i <= count; ++i) {
        if (includeAt == i && excludeAt == i) {
            bool ok = includeFirst ? WritePatternLines(out, kIncludePrefix, include) &&
                                         WritePatternLines(out, kExcludePrefix, exclude)
                                   : WritePatternLines(out, kExcludePrefix, exclude) &&
                                         WritePatternLines(out, kIncludePrefix, include);
            if (!ok) return false;
        } else if (includeAt == i) {
            if (!WritePatternLines(out, kIncludePrefix, include)) return false;
        } else if (excludeAt == i) {
            if (!WritePatternLines(out, kExcludePrefix, exclude)) return false;
        }
        if (i < count && !out.WriteLine(keptLines_[i])) return false;
    }
    return true;
}

bool CAutoRender::Save()
{
    g_runLog.Printf(L"%s:[%d]", L"CAutoRender::Save", 150);
    g_runLog.WriteFormat(L"Include[%s]", includeText);
    g_runLog.WriteFormat(L"Exclude[%s]", excludeText);
    if (!SaveTextFileAtomically(scriptPath_, false, [this](CTextStream& out) { return WriteScript(out); },
                                error_)) {
        g_runLog.Printf(L"%s:[%d]", L"CAutoRender::Save", 154);
        return false;
    }
    // The texts keep the trimming of their trailing line ends, as written to the file.
    includeText.resize(LengthWithoutLineEnds(includeText));
    excludeText.resize(LengthWithoutLineEnds(excludeText));
    return true;
}
