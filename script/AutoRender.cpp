#include "script/AutoRender.h"

#include <windows.h>

#include <algorithm>
#include <new>
#include <string_view>

#include "textio/AtomicFileWriter.h"
#include "textio/RunLog.h"
#include "textio/TextFile.h"

CAutoRender g_autoRender;

namespace {

const wchar_t kIncludePrefix[] = L"//@include ";
const wchar_t kExcludePrefix[] = L"//@exclude ";
const size_t kPrefixLength = 11;
// No line, and no pattern text, has more characters than the script has bytes. With that much
// storage set aside, the kept lines and each pattern text grow to their end without being
// copied, which on a large script costs more in page faults than in copying. The limits keep a
// huge script from asking a 32-bit process for more than growing step by step would need.
const uint64_t kMaxReservedKeptBytes = uint64_t(1) << 28;          // 256 MB
const uint64_t kMaxReservedPatternCharacters = uint64_t(1) << 26;  // 128 MB of UTF-16 each

// Storage set aside only speeds the reading up; when a 32-bit process cannot spare that much at
// once, the text grows step by step as it would have anyway.
void ReserveIfPossible(std::wstring& text, size_t count)
{
    try {
        text.reserve(count);
    } catch (const std::bad_alloc&) {
        // the text keeps the storage it has
    }
}

enum class LineKind { NotComment, OtherComment, Include, Exclude };

// True when the count units of text from pos are those of literal; the caller has checked that
// text is long enough. A plain loop: the library's compare measures the literal on every line.
template <typename Char>
bool HasAt(std::basic_string_view<Char> text, size_t pos, const wchar_t* literal, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (static_cast<wchar_t>(text[pos + i]) != literal[i]) return false;
    }
    return true;
}

// Header line classes. A pattern line is "//", "@include " or "@exclude " (one space, case
// as written) with spaces allowed around "//"; its pattern keeps its leading spaces. Works on
// positions rather than copies: a script may have a million header lines. A line comes as
// bytes when it is plain ASCII, else as UTF-16 units.
template <typename Char>
LineKind Classify(std::basic_string_view<Char> line, size_t& patternStart, size_t& patternLength)
{
    using View = std::basic_string_view<Char>;
    const Char space = static_cast<Char>(' ');
    size_t first = line.find_first_not_of(space);
    if (first == View::npos || first + 2 > line.size() || !HasAt(line, first, L"//", 2)) return LineKind::NotComment;
    size_t last = line.find_last_not_of(space);  // the text ends at last, inclusive
    size_t key = line.find_first_not_of(space, first + 2);
    const size_t keyLength = 9;
    if (key == View::npos || key + keyLength > last) return LineKind::OtherComment;
    LineKind kind;
    if (HasAt(line, key, L"@include ", keyLength)) {
        kind = LineKind::Include;
    } else if (HasAt(line, key, L"@exclude ", keyLength)) {
        kind = LineKind::Exclude;
    } else {
        return LineKind::OtherComment;
    }
    patternStart = key + keyLength;
    patternLength = last + 1 - patternStart;
    return kind;
}

// Appends count units of line index from start, and CR LF, to text, widening an ASCII line's
// bytes. Room first, then a plain loop: unit by unit through push_back, or a run at a time
// through the C runtime's memcpy, costs several times more on a million patterns.
void AppendPattern(std::wstring& text, const CLineList& lines, size_t index, size_t start, size_t count)
{
    const size_t end = text.size();
    text.resize(end + count + 2);
    wchar_t* out = &text[end];
    if (lines.IsAscii(index)) {
        const char* bytes = lines.AsciiLine(index).data() + start;
        for (size_t i = 0; i < count; ++i) out[i] = static_cast<wchar_t>(bytes[i]);
    } else {
        lines.WideLine(index).copy(out, count, start);
    }
    out[count] = L'\r';
    out[count + 1] = L'\n';
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
bool WritePatternLines(CTextStream& out, const wchar_t* prefix, size_t prefixLength, const std::wstring& text)
{
    const wchar_t* units = text.data();
    const size_t size = text.size();
    size_t pos = 0;
    while (pos < size) {
        // A plain loop: find_first_of with a set is many times slower on a million patterns.
        size_t end = pos;
        while (end < size && units[end] != L'\r' && units[end] != L'\n') ++end;
        if (end > pos && !out.WriteLine(prefix, prefixLength, units + pos, end - pos)) return false;
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
    // Only a hint: the size sets storage aside, the reading itself goes to the file's end.
    uint64_t size = 0;
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes)) {
        size = (static_cast<uint64_t>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
    }
    if (!Read(file, path, size)) return false;
    file.Close();
    g_runLog.Printf(L"%s:[%d]", L"CAutoRender::Init", 145);
    return true;
}

bool CAutoRender::Read(CTextStream& in, const std::wstring& path, uint64_t sizeHint)
{
    // Parsed into locals first: a read that fails half-way changes nothing.
    CLineList kept;
    // The kept lines are stored with CR LF after each, two bytes more than an unended last line had.
    kept.Reserve(static_cast<size_t>(std::min(sizeHint + 2, kMaxReservedKeptBytes)));
    const size_t patternReserve = static_cast<size_t>(std::min(sizeHint, kMaxReservedPatternCharacters));
    PatternBlock include;
    PatternBlock exclude;
    const PatternBlock* current = nullptr;  // the block being read; null outside any
    bool headerEnded = false;

    // Every line is read straight into the kept lines; a pattern line taken apart is removed
    // from there again.
    size_t patternStart = 0;
    size_t patternLength = 0;
    const bool logging = g_runLog.IsOpen();
    while (in.ReadLine(kept)) {
        const size_t last = kept.Count() - 1;
        if (logging) g_runLog.WriteFormat(L"Line[%s]", kept.Line(last));
        if (headerEnded) continue;
        const LineKind kind = kept.IsAscii(last) ? Classify(kept.AsciiLine(last), patternStart, patternLength)
                                                 : Classify(kept.WideLine(last), patternStart, patternLength);
        if (kind == LineKind::NotComment || kind == LineKind::OtherComment) {
            headerEnded = kind == LineKind::NotComment;
            current = nullptr;
            continue;
        }
        PatternBlock& block = kind == LineKind::Include ? include : exclude;
        if (current != &block) {
            if (block.seen) {
                // A later block of a kind already taken, directly after the other block or
                // not, stays in the file as ordinary lines and ends the current block.
                current = nullptr;
                continue;
            }
            block.seen = true;
            ReserveIfPossible(block.text, patternReserve);
            block.pos = static_cast<int32_t>(last);
            current = &block;
        }
        AppendPattern(block.text, kept, last, patternStart, patternLength);
        kept.RemoveLast();
    }
    if (in.HasError()) {
        error_.SetError(L"File Read Failed.", ERROR_READ_FAULT);
        return false;
    }

    scriptPath_ = path;
    includePos_ = include.pos;
    excludePos_ = exclude.pos;
    keptLines_.Swap(kept);
    includeText.swap(include.text);
    excludeText.swap(exclude.text);
    return true;
}

bool CAutoRender::WriteScript(CTextStream& out) const
{
    // Empty pieces are dropped, so trailing line ends need no trimming here.
    const std::wstring& include = includeText;
    const std::wstring& exclude = excludeText;
    const size_t count = keptLines_.Count();
    // Each block goes back before the kept line that followed it. A kind the file had no block
    // of goes to the very top; blocks at the same place are written include block first,
    // unless only the exclude kind is missing, which then stands above the include block.
    auto placeOf = [count](int32_t pos) { return pos < 0 ? 0 : std::min(static_cast<size_t>(pos), count); };
    const size_t includeAt = placeOf(includePos_);
    const size_t excludeAt = placeOf(excludePos_);
    const bool includeFirst = !(excludePos_ < 0 && includePos_ >= 0);

    auto writeBlocksAt = [&](size_t place) {
        if (includeAt == place && excludeAt == place) {
            return includeFirst ? WritePatternLines(out, kIncludePrefix, kPrefixLength, include) &&
                                      WritePatternLines(out, kExcludePrefix, kPrefixLength, exclude)
                                : WritePatternLines(out, kExcludePrefix, kPrefixLength, exclude) &&
                                      WritePatternLines(out, kIncludePrefix, kPrefixLength, include);
        }
        if (includeAt == place) return WritePatternLines(out, kIncludePrefix, kPrefixLength, include);
        return WritePatternLines(out, kExcludePrefix, kPrefixLength, exclude);
    };
    // The kept lines in at most three runs, around the places of the two blocks.
    const size_t firstAt = std::min(includeAt, excludeAt);
    const size_t secondAt = std::max(includeAt, excludeAt);
    if (!out.WriteLines(keptLines_, 0, firstAt) || !writeBlocksAt(firstAt)) return false;
    if (secondAt != firstAt && (!out.WriteLines(keptLines_, firstAt, secondAt) || !writeBlocksAt(secondAt))) return false;
    return out.WriteLines(keptLines_, secondAt, count);
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
