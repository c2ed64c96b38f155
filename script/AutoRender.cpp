#include "script/AutoRender.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "script/PatternText.h"
#include "script/ScriptSaveLock.h"
#include "support/Charset.h"
#include "support/Utf8Check.h"
#include "textio/AtomicFileWriter.h"
#include "textio/RunLog.h"
#include "textio/SaveJournal.h"
#include "textio/TextFile.h"

CAutoRender g_autoRender;

namespace {

enum class LineKind { NotComment, OtherComment, Include, Exclude };

// The two kinds of pattern line and the prefix each is written with. The key that a line is
// known by is the prefix after its "//", which a read also finds with spaces around the "//".
struct PatternKind {
    LineKind kind;
    std::wstring_view prefix;
    std::wstring_view Key() const { return prefix.substr(2); }
};
constexpr PatternKind kInclude{LineKind::Include, L"//@include "};
constexpr PatternKind kExclude{LineKind::Exclude, L"//@exclude "};
// The line end of a UTF-16 script, as its kept lines store it.
const std::string_view kUtf16LineEnd("\r\0\n\0", 4);
// No line, and no pattern text, has more characters than the script has bytes. With that much
// storage set aside, the kept lines and each pattern text grow to their end without being
// copied, which on a large script costs more in page faults than in copying. The limits keep a
// huge script from asking a 32-bit process for more than growing step by step would need.
const uint64_t kMaxReservedKeptBytes = uint64_t(1) << 28;          // 256 MB
const uint64_t kMaxReservedPatternCharacters = uint64_t(1) << 26;  // 128 MB of UTF-16 each
// How often an edit starts again from the read when another program writes the script meanwhile.
const int kEditAttempts = 4;

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

// The caller has checked that text is long enough; units of either width compare with the wide literal.
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
// positions rather than copies: a script may have a million header lines. A line comes as the
// bytes of 8-bit text or as UTF-16 units. On bytes this is exact for UTF-8 and for every ANSI
// code page: everything it compares stands before the pattern, where a byte below 80 is the
// ASCII character itself (a second byte of a double-byte character only follows a first byte
// of 80 or more), and no second byte is a space, which ends the trimmed pattern.
template <typename Char>
LineKind Classify(std::basic_string_view<Char> line, size_t& patternStart, size_t& patternLength)
{
    using View = std::basic_string_view<Char>;
    const Char space = static_cast<Char>(' ');
    size_t first = line.find_first_not_of(space);
    if (first == View::npos || first + 2 > line.size() || !HasAt(line, first, L"//", 2)) return LineKind::NotComment;
    size_t last = line.find_last_not_of(space);  // the text ends at last, inclusive
    const size_t key = line.find_first_not_of(space, first + 2);
    for (const PatternKind& kind : {kInclude, kExclude}) {
        const size_t keyLength = kind.Key().size();
        if (key == View::npos || key + keyLength > last || !HasAt(line, key, kind.Key().data(), keyLength)) continue;
        patternStart = key + keyLength;
        patternLength = last + 1 - patternStart;
        return kind.kind;
    }
    return LineKind::OtherComment;
}

// Whether the save writes a pattern line back as that line (the header's rule). UTF-16 units tell
// it at once; the bytes of 8-bit text only in a known encoding: U+2028 and U+2029 are E2 80 A8 and
// E2 80 A9 in UTF-8 (and so in code page 65001), and in no other code page.
enum class WrittenBack { Yes, No, Unknown };

WrittenBack PatternWrittenBack(std::string_view pattern, const TextEncoding* encoding)
{
    if (pattern.find_first_not_of(" \t") == std::string_view::npos) return WrittenBack::No;
    const bool mayBreak = pattern.find("\xE2\x80\xA8") != std::string_view::npos ||
                          pattern.find("\xE2\x80\xA9") != std::string_view::npos;
    if (!mayBreak) return WrittenBack::Yes;
    if (encoding == nullptr) return WrittenBack::Unknown;
    std::wstring text;
    DecodeText(std::string(pattern), *encoding, text);
    return IsSinglePattern(text) ? WrittenBack::Yes : WrittenBack::No;
}

// Appends count units of line from start, and CR LF, to text: UTF-16 units as they are, bytes
// each widened to the unit of its own value (the bytes are decoded once the script's encoding
// is known; see DecodePatterns). Returns every unit ORed together. The room is made first, so
// that the copy is one tight loop.
template <typename Char>
unsigned AppendPattern(std::wstring& text, std::basic_string_view<Char> line, size_t start, size_t count)
{
    using Unit = std::make_unsigned_t<Char>;
    const size_t end = text.size();
    text.resize(end + count + 2);
    wchar_t* out = &text[end];
    unsigned bits = 0;
    for (size_t i = 0; i < count; ++i) {
        const Unit unit = static_cast<Unit>(line[start + i]);
        bits |= unit;
        out[i] = static_cast<wchar_t>(unit);
    }
    out[count] = L'\r';
    out[count + 1] = L'\n';
    return bits;
}

// Decodes the patterns of a text that AppendPattern built from 8-bit lines, each ended by CR LF,
// from the script's encoding. Each pattern on its own, as its line was in the file: a byte that
// makes no character there cannot take a line end with it; plain ASCII already is what it means.
// A pattern whose bytes its text would not give again keeps its line's bytes in bytes (prefix and
// pattern: the line was in the regular form, or it is there). In place, so that the patterns are
// never held twice: the system's conversion without flags makes one UTF-16 unit of each character
// of one or two bytes of an ANSI code page, of each UTF-8 character of one to three bytes and of
// each byte that makes no character, two of a four-byte UTF-8 (or GB18030) one: a pattern fits
// where its bytes stood.
void DecodePatterns(std::wstring& text, TextEncoding encoding, std::wstring_view prefix, CPatternBytes& bytes)
{
    const std::string narrowPrefix(prefix.begin(), prefix.end());  // ASCII
    std::string patternBytes;
    std::wstring pattern;
    std::vector<std::pair<size_t, std::string>> undecodable;
    size_t index = 0;
    size_t read = 0;   // the next pattern as AppendPattern left it
    size_t write = 0;  // the end of the patterns decoded so far; never after read
    while (read < text.size()) {
        const size_t end = text.find(L'\r', read);  // a pattern holds no CR
        bool ascii = true;
        for (size_t i = read; i < end && ascii; ++i) ascii = text[i] <= 0x7F;
        if (ascii) {
            if (write != read) std::copy(&text[read], &text[end], &text[write]);
            write += end - read;
        } else {
            patternBytes.resize(end - read);
            for (size_t i = read; i < end; ++i) patternBytes[i - read] = static_cast<char>(text[i]);
            if (!DecodeTextExactly(patternBytes, encoding, pattern) && !bytes.Contains(index)) {
                undecodable.emplace_back(index, narrowPrefix + patternBytes + "\r\n");
            }
            std::copy(pattern.begin(), pattern.end(), &text[write]);
            write += pattern.size();
        }
        text[write] = L'\r';
        text[write + 1] = L'\n';
        write += 2;
        read = end + 2;
        ++index;
    }
    text.resize(write);
    for (const auto& line : undecodable) bytes.Add(line.first, line.second);
}

// A kept line as text, for the run log only.
std::wstring LineForLog(std::string_view bytes, TextEncoding encoding)
{
    std::wstring text;
    DecodeText(std::string(bytes), encoding, text);
    return text;
}

// Writes prefix + line for every pattern line of text (see PatternText.h: no line break can get
// into the file, so no pattern makes a line of its own without its prefix). A line that stands
// for a loaded line kept in bytes is written as those bytes. A line that cannot be written
// without loss goes to unwritable, and nothing more is written.
bool WritePatternLines(CTextStream& out, std::wstring_view prefix, const std::wstring& text, const CPatternBytes& bytes,
                       std::wstring& unwritable, PatternReadBackCheck* readBack)
{
    CPatternBytes::Walk walk(bytes);
    const bool anyKept = !bytes.IsEmpty();
    bool ok = true;
    ForEachPatternLine(text, [&](std::wstring_view line) {
        if (!ok) return;
        if (readBack != nullptr) readBack->Visit(line);
        const std::string* kept = anyKept ? walk.Next(line) : nullptr;
        bool lossy = false;
        if (kept != nullptr) {
            ok = out.WriteBytes(kept->data(), kept->size());
        } else if (!out.WriteLineExactly(prefix.data(), prefix.size(), line.data(), line.size(), lossy)) {
            if (lossy) unwritable.assign(line.data(), line.size());
            ok = false;
        }
    });
    return ok;
}

// One kind of pattern while the header is read.
struct PatternBlock {
    bool seen = false;
    int32_t pos = -1;
    size_t count = 0;       // patterns taken so far
    std::wstring text;
    CPatternBytes bytes;    // lines whose text would not give their bytes again
};

} // namespace

// A script's header as it is read, before the script is kept: the lines kept as bytes, the two
// pattern blocks, and what the lines showed.
struct CAutoRender::Header {
    Header(bool utf16, uint64_t sizeHint)
        : wide(utf16), patternReserve(static_cast<size_t>(std::min(sizeHint, kMaxReservedPatternCharacters)))
    {
        if (wide) kept.SetLineEnd(kUtf16LineEnd);
        // The kept lines are stored with a line end after each, two bytes more than an unended
        // last line had.
        kept.Reserve(static_cast<size_t>(std::min(sizeHint + 2, kMaxReservedKeptBytes)));
    }
    // Takes the last line of lines (kept, or the list that TakeDeferred rebuilds): a pattern line
    // of a block being taken goes to its block and leaves lines; the first line that is no
    // comment ends the header. A pattern line that is one only in some encoding, in an unmarked
    // script whose encoding is not known yet, is left for TakeDeferred with the lines after it.
    void TakeLine(CLineList& lines);
    // Once the encoding is known: takes the lines left open, kept in a list of their own.
    void TakeDeferred(const TextEncoding& encoding);
    // The patterns' bytes decoded from the script's encoding (UTF-16 ones are units already), and
    // each block's kept bytes indexed by its text.
    void Decode(TextEncoding encoding);

    const bool wide;                // UTF-16, as its mark says
    const TextEncoding* known = nullptr;  // the encoding, once known: at once where a mark names it
    bool deferred = false;          // lines from deferFrom on are left for TakeDeferred
    size_t deferFrom = 0;
    CLineList kept;
    PatternBlock include;
    PatternBlock exclude;
    const PatternBlock* current = nullptr;  // the block being read; null outside any
    bool ended = false;             // the header has ended; the rest is body
    bool excludeFirst = false;      // the exclude block began before the include block
    unsigned patternBits = 0;       // every unit of every pattern ORed together
    size_t patternReserve;
    std::wstring units;             // the line of a UTF-16 script as units
};

void CAutoRender::Header::TakeLine(CLineList& lines)
{
    const size_t last = lines.Count() - 1;
    const std::string_view bytes = lines.Line(last);
    if (wide) {
        units.resize(bytes.size() / sizeof(wchar_t));
        if (!units.empty()) std::memcpy(&units[0], bytes.data(), units.size() * sizeof(wchar_t));
    }
    size_t patternStart = 0;
    size_t patternLength = 0;
    LineKind kind = wide ? Classify(std::wstring_view(units), patternStart, patternLength)
                         : Classify(bytes, patternStart, patternLength);
    if (kind == LineKind::Include || kind == LineKind::Exclude) {
        const WrittenBack back =
            wide ? (IsSinglePattern(std::wstring_view(units).substr(patternStart, patternLength)) ? WrittenBack::Yes
                                                                                                   : WrittenBack::No)
                 : PatternWrittenBack(bytes.substr(patternStart, patternLength), known);
        if (back == WrittenBack::Unknown) {
            deferred = true;
            deferFrom = last;
            return;
        }
        if (back == WrittenBack::No) kind = LineKind::OtherComment;
    }
    if (kind == LineKind::NotComment || kind == LineKind::OtherComment) {
        ended = kind == LineKind::NotComment;
        current = nullptr;
        return;
    }
    PatternBlock& block = kind == LineKind::Include ? include : exclude;
    if (current != &block) {
        if (block.seen) {
            // A later block of a kind already taken, directly after the other block or not,
            // stays in the file as ordinary lines and ends the current block.
            current = nullptr;
            return;
        }
        if (&block == &exclude && !include.seen) excludeFirst = true;
        block.seen = true;
        ReserveIfPossible(block.text, patternReserve);
        block.pos = static_cast<int32_t>(last);
        current = &block;
    }
    patternBits |= wide ? AppendPattern(block.text, std::wstring_view(units), patternStart, patternLength)
                        : AppendPattern(block.text, bytes, patternStart, patternLength);
    // A line in the regular form is its prefix and its pattern, nothing around them.
    const size_t lineLength = wide ? units.size() : bytes.size();
    if (patternStart != kInclude.prefix.size() || patternStart + patternLength != lineLength) {
        block.bytes.Add(block.count, lines.LinesWithEnds(last, last + 1));
    }
    ++block.count;
    lines.RemoveLast();
}

void CAutoRender::Header::TakeDeferred(const TextEncoding& encoding)
{
    known = &encoding;
    if (!deferred) return;
    deferred = false;
    CLineList lines;
    if (wide) lines.SetLineEnd(kUtf16LineEnd);
    lines.Reserve(kept.LinesWithEnds(0, kept.Count()).size());
    for (size_t i = 0; i < kept.Count(); ++i) {
        lines.Append(kept.Line(i));
        if (i >= deferFrom && !ended) TakeLine(lines);
    }
    kept.Swap(lines);
}

void CAutoRender::Header::Decode(TextEncoding encoding)
{
    if (!wide && patternBits > 0x7F) {
        DecodePatterns(include.text, encoding, kInclude.prefix, include.bytes);
        DecodePatterns(exclude.text, encoding, kExclude.prefix, exclude.bytes);
    }
    include.bytes.Index(include.text);
    exclude.bytes.Index(exclude.text);
}

bool CAutoRender::Fail(ScriptFailure failure, const CLastError& reason)
{
    failure_ = failure;
    if (&reason != &error_) error_ = reason;
    return false;
}

bool CAutoRender::Refuse(ScriptFailure failure, const wchar_t* why, DWORD code)
{
    error_.SetError(why, code);
    return Fail(failure, error_);
}

bool CAutoRender::Init(const std::wstring& path)
{
    g_runLog.Printf(L"%s:[%d]", L"CAutoRender::Init", 15);
    CTextFile file;
    if (!file.Open(path, kOpenRead, false)) {
        g_runLog.WriteFormat(L"can not open javascript[%s]", path);
        return Fail(ScriptFailure::CannotRead, file.Error());
    }
    FileState opened;
    bool known = file.GetOpenedState(opened);
    const std::wstring journal =
        known ? FindSaveJournal(turn_ != nullptr ? turn_->FinalPath() : file.FinalPath(), opened) : std::wstring();
    if (!journal.empty()) {
        file.Close();
        if (!RollBack(path, journal)) return false;
        if (!file.Open(path, kOpenRead, false)) {
            g_runLog.WriteFormat(L"can not open javascript[%s]", path);
            return Fail(ScriptFailure::CannotRead, file.Error());
        }
        known = file.GetOpenedState(opened);
    }
    if (!Read(file, path, static_cast<uint64_t>(file.GetLength()))) {
        if (failure_ == ScriptFailure::EncodingNotKept) {
            g_runLog.WriteFormat(L"script encoding cannot be kept[%s]", error_.GetErrorText());
        }
        return false;
    }
    file.Close();
    readState_ = opened;
    readStateKnown_ = known;
    g_runLog.Printf(L"%s:[%d]", L"CAutoRender::Init", 145);
    return true;
}

bool CAutoRender::RollBack(const std::wstring& path, const std::wstring& journal)
{
    // Under the script's turn: the save of another instance may be writing in place under that
    // journal right now, and removes it once done.
    CScriptSaveLock own;
    if (turn_ == nullptr && !own.Acquire(path)) {
        g_runLog.WriteFormat(L"no turn to roll back an interrupted save[%s]", path);
        return Fail(ScriptFailure::CannotRead, own.Error());
    }
    if (!RecoverInterruptedSave(path, journal, error_)) {
        g_runLog.WriteFormat(L"interrupted save cannot be rolled back[%s]", path);
        return Fail(ScriptFailure::CannotRead, error_);
    }
    return true;
}

bool CAutoRender::Edit(const std::wstring& path, const std::function<void(CAutoRender&)>& change)
{
    CScriptSaveLock turn;
    if (!turn.Acquire(path)) {
        if (turn.NoScript()) {
            g_runLog.WriteFormat(L"can not open javascript[%s]", path);
            return Fail(ScriptFailure::CannotRead, turn.Error());
        }
        g_runLog.WriteFormat(L"no turn to save script[%s]", path);
        return Fail(ScriptFailure::CannotWrite, turn.Error());
    }
    struct TurnScope {
        CAutoRender& script;
        ~TurnScope() { script.turn_ = nullptr; }
    } scope{*this};
    turn_ = &turn;
    for (int attempt = 1;; ++attempt) {
        // A replace lets go of the script's own lock before its rename.
        if (!turn.Script().IsValid() && !turn.HoldScript()) {
            return Fail(turn.NoScript() ? ScriptFailure::CannotRead : ScriptFailure::CannotWrite, turn.Error());
        }
        if (Init(path)) {
            change(*this);
            if (Save()) return true;
        }
        // Another program wrote the script while it was read, or since: its content counts, and
        // this edit is made to it.
        if (error_.GetErrorCode() != kFileChangedMeanwhile || attempt == kEditAttempts) return false;
        g_runLog.WriteFormat(L"script changed by another program, read again[%s]", path);
    }
}

bool CAutoRender::Read(CTextStream& in, const std::wstring& path, uint64_t sizeHint)
{
    failure_ = ScriptFailure::None;
    // Every byte read is shown to the check, which decides a script without a mark. The stream
    // lets go of it however the reading ends.
    CUtf8Check utf8;
    struct WatchScope {
        CTextStream& stream;
        ~WatchScope() { stream.WatchBytes(nullptr); }
    } watchScope{in};
    in.WatchBytes(&utf8);
    // UTF-16 big-endian would be read as 8-bit text and every zero byte taken for a line end.
    if (in.NextBytesAre(kUtf16BigEndianMark)) {
        return Refuse(ScriptFailure::EncodingNotKept, L"UTF-16 big-endian byte-order mark", ERROR_UNSUPPORTED_TYPE);
    }
    TextEncoding marked = TextEncoding::Ansi;
    const bool hasMark = in.ReadByteOrderMark(marked);
    // Read into a header of its own first: a read that fails half-way changes nothing.
    Header header(hasMark && marked == TextEncoding::Utf16, sizeHint);
    if (hasMark) header.known = &marked;
    if (!ReadHeader(in, header)) return false;
    // The script is read as it streams in, its lines kept as bytes, so its encoding is decided
    // once its end is reached: it may be large, and is not read whole first.
    const TextEncoding encoding = hasMark ? marked : DecideEncoding(kMayBeUtf8 | kMayBeAnsi, false, utf8);
    header.TakeDeferred(encoding);
    header.Decode(encoding);
    Keep(header, path, encoding, hasMark, !hasMark && !utf8.HasNonAscii());
    return true;
}

bool CAutoRender::ReadHeader(CTextStream& in, Header& header)
{
    // Every line is read straight into the kept lines; a pattern line taken apart is removed
    // from there again.
    const bool logging = g_runLog.IsOpen();
    while (in.ReadLine(header.kept)) {
        if (logging) {
            const std::string_view line = header.kept.Line(header.kept.Count() - 1);
            g_runLog.WriteFormat(L"Line[%s]", LineForLog(line, in.Encoding()));
        }
        if (!header.ended && !header.deferred) header.TakeLine(header.kept);
    }
    if (in.HasError()) return Fail(ScriptFailure::CannotRead, in.Error());
    // A NUL would come back as a line end, a lone last byte not at all.
    if (in.SawNul()) return Refuse(ScriptFailure::EncodingNotKept, L"NUL character", ERROR_UNSUPPORTED_TYPE);
    if (header.wide && in.SawOddByte()) {
        return Refuse(ScriptFailure::EncodingNotKept, L"UTF-16 with an odd number of bytes", ERROR_UNSUPPORTED_TYPE);
    }
    return true;
}

void CAutoRender::Keep(Header& header, const std::wstring& path, TextEncoding encoding, bool hasMark, bool asciiOnly)
{
    scriptPath_ = path;
    encoding_ = encoding;
    byteOrderMark_ = hasMark;
    asciiOnly_ = asciiOnly;
    includePos_ = header.include.pos;
    excludePos_ = header.exclude.pos;
    excludeFirst_ = header.excludeFirst;
    keptLines_.Swap(header.kept);
    includeBytes_.Swap(header.include.bytes);
    excludeBytes_.Swap(header.exclude.bytes);
    includeText.swap(header.include.text);
    excludeText.swap(header.exclude.text);
}

bool CAutoRender::WriteScript(CTextStream& out) const
{
    std::wstring unwritable;
    return Write(out, encoding_, unwritable, nullptr, nullptr);
}

bool CAutoRender::Write(CTextStream& out, TextEncoding encoding, std::wstring& unwritable,
                        PatternReadBackCheck* includeReadBack, PatternReadBackCheck* excludeReadBack) const
{
    // Empty pieces are dropped, so trailing line ends need no trimming here.
    const size_t count = keptLines_.Count();
    // Each block goes back before the kept line that followed it. A kind the file had no block
    // of goes to the very top; blocks at the same place are written in the order they stood,
    // and a missing block stands above the one the file had, the include block when neither.
    auto placeOf = [count](int32_t pos) { return pos < 0 ? 0 : std::min(static_cast<size_t>(pos), count); };
    const size_t includeAt = placeOf(includePos_);
    const size_t excludeAt = placeOf(excludePos_);
    const bool includeFirst = includePos_ < 0 || (excludePos_ >= 0 && !excludeFirst_);

    auto writeInclude = [&] {
        return WritePatternLines(out, kInclude.prefix, includeText, includeBytes_, unwritable, includeReadBack);
    };
    auto writeExclude = [&] {
        return WritePatternLines(out, kExclude.prefix, excludeText, excludeBytes_, unwritable, excludeReadBack);
    };
    auto writeBlocksAt = [&](size_t place) {
        if (includeAt == place && excludeAt == place) {
            return includeFirst ? writeInclude() && writeExclude() : writeExclude() && writeInclude();
        }
        return includeAt == place ? writeInclude() : writeExclude();
    };
    auto writeKept = [&](size_t first, size_t end) {
        const std::string_view bytes = keptLines_.LinesWithEnds(first, end);
        return out.WriteBytes(bytes.data(), bytes.size());
    };
    out.SetEncoding(encoding);
    if (byteOrderMark_) {
        const std::string_view mark = MarkOf(encoding);
        if (!out.WriteBytes(mark.data(), mark.size())) return false;
    }
    // The kept lines, as they were read, in at most three runs around the places of the two blocks.
    const size_t firstAt = std::min(includeAt, excludeAt);
    const size_t secondAt = std::max(includeAt, excludeAt);
    if (!writeKept(0, firstAt) || !writeBlocksAt(firstAt)) return false;
    if (secondAt != firstAt && (!writeKept(firstAt, secondAt) || !writeBlocksAt(secondAt))) return false;
    return writeKept(secondAt, count);
}

bool CAutoRender::FirstBytesReadAsMark() const
{
    if (byteOrderMark_ || keptLines_.IsEmpty()) return false;
    // A pattern line written above the first kept line begins with "//".
    auto linesAtTop = [](int32_t pos, const std::wstring& text) {
        bool any = false;
        if (pos <= 0) ForEachPatternLine(text, [&any](std::wstring_view) { any = true; });
        return any;
    };
    if (linesAtTop(includePos_, includeText) || linesAtTop(excludePos_, excludeText)) return false;
    const std::string_view first = keptLines_.Line(0);
    auto startsWith = [first](std::string_view mark) { return first.substr(0, mark.size()) == mark; };
    return startsWith(kUtf16BigEndianMark) || startsWith(kUtf16Mark) || startsWith(kUtf8Mark);
}

bool CAutoRender::Save()
{
    g_runLog.Printf(L"%s:[%d]", L"CAutoRender::Save", 150);
    g_runLog.WriteFormat(L"Include[%s]", includeText);
    g_runLog.WriteFormat(L"Exclude[%s]", excludeText);
    failure_ = ScriptFailure::None;
    unwritablePattern_.clear();
    if (FirstBytesReadAsMark()) {
        g_runLog.Printf(L"%s:[%d]", L"CAutoRender::Save", 152);
        return Refuse(ScriptFailure::MarkAtStart, L"The script would begin with bytes that read as a byte-order mark.",
                      ERROR_INVALID_DATA);
    }
    TextEncoding encoding = encoding_;
    // In an edit, through the handle that holds the script's turn.
    SaveOptions options;
    options.mayWriteInPlace = true;
    options.expected = readStateKnown_ ? &readState_ : nullptr;
    if (turn_ != nullptr) {
        options.held = &turn_->Script();
        options.heldWritable = turn_->ScriptWritable();
    }
    // Each list's lines as the write that succeeds walked them.
    PatternReadBackCheck includeReadBack(includeText);
    PatternReadBackCheck excludeReadBack(excludeText);
    for (;;) {
        std::wstring unwritable;
        includeReadBack = PatternReadBackCheck(includeText);
        excludeReadBack = PatternReadBackCheck(excludeText);
        auto write = [&](CTextStream& out) { return Write(out, encoding, unwritable, &includeReadBack, &excludeReadBack); };
        CAtomicFileWriter writer(scriptPath_, error_, options);
        if (SaveTextFileAtomically(writer, false, write)) {
            readState_ = writer.WrittenState();
            readStateKnown_ = true;
            break;
        }
        if (unwritable.empty()) {
            g_runLog.Printf(L"%s:[%d]", L"CAutoRender::Save", 154);
            return Fail(ScriptFailure::CannotWrite, error_);
        }
        // Plain ASCII is the same in UTF-8, which holds every character: the script only gains
        // the new lines, and reads as UTF-8 from then on.
        if (asciiOnly_ && encoding == TextEncoding::Ansi) {
            encoding = TextEncoding::Utf8;
            continue;
        }
        g_runLog.WriteFormat(L"pattern cannot be written in the script's encoding[%s]", unwritable);
        unwritablePattern_ = unwritable;
        return Refuse(ScriptFailure::PatternNotWritable, L"A pattern cannot be written in the script's encoding.",
                      ERROR_NO_UNICODE_TRANSLATION);
    }
    encoding_ = encoding;
    // What was written may no longer be plain ASCII.
    asciiOnly_ = false;
    includeReadBack.ReadBack(includeText);
    excludeReadBack.ReadBack(excludeText);
    return true;
}
