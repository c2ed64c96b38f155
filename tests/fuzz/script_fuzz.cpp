// The script model's promises on any bytes: a file is refused exactly when its bytes cannot be
// kept; read -> write -> read is a fixed point; an unchanged save writes the bytes it read, line
// ends aside; an edit plus save reads back as the lists, or fails with the file and the lists as
// they were; a failing open, read, write, flush or rename leaves the old file whole.
//
// Input: choices (bit 0 code page 936; bits 1-2 the edit: none, a quick add, the dialog's lists;
// bits 3-5 the failing call: none, open, read, write, flush, rename; bits 6-7 from which call of
// it on), then the script's bytes, then the quick add's address or the include list, then the
// exclude list (UTF-16 LE).
#include <windows.h>

#include "script/AutoRender.h"
#include "script/PatternText.h"
#include "tests/fuzz/FuzzInput.h"

using fuzz_layer::Op;

namespace {

const std::wstring kPath = std::wstring(fuzz_layer::kFolder) + L"Autorender in IE.js";

// The script as a save that changes nothing writes it: each line (ended by CR LF, a lone CR or
// LF, or the file's end) followed by CR LF, in units of its encoding, after its mark; and whether
// its bytes can be kept at all (no UTF-16 big-endian mark, no NUL, no lone last byte of UTF-16).
bool Normalised(const std::string& bytes, std::string& out)
{
    if (bytes.compare(0, 2, "\xFE\xFF") == 0) return false;
    const bool wide = bytes.compare(0, 2, "\xFF\xFE") == 0;
    const size_t markLength = wide ? 2 : bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    const size_t unit = wide ? 2 : 1;
    if ((bytes.size() - markLength) % unit != 0) return false;
    out = bytes.substr(0, markLength);
    const std::string lineEnd = wide ? std::string("\r\0\n\0", 4) : "\r\n";
    bool open = false;  // a line has begun
    for (size_t i = markLength; i < bytes.size(); i += unit) {
        const unsigned value = wide ? static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)
                                    : static_cast<uint8_t>(bytes[i]);
        if (value == 0) return false;
        if (value == '\r' || value == '\n') {
            out += lineEnd;
            open = false;
            const size_t next = i + unit;
            const bool lf = next + unit <= bytes.size() && bytes[next] == '\n' && (!wide || bytes[next + 1] == 0);
            if (value == '\r' && lf) i = next;
            continue;
        }
        out.append(bytes, i, unit);
        open = true;
    }
    if (open) out += lineEnd;
    return true;
}

std::string FileNow()
{
    std::string bytes;
    if (!fuzz_layer::GetFile(kPath, bytes)) Broken("the script is gone");
    return bytes;
}

void OnlyTheScriptAndNoHandle(const char* when)
{
    if (fuzz_layer::FileNames().size() != 1) Broken("a file was left beside the script", when);
    if (fuzz_layer::OpenHandles() != 0) Broken("a handle was left open", when);
}

std::wstring Ended(const std::wstring& text) { return text.empty() ? text : text + L"\r\n"; }

void SameModel(const CAutoRender& saved, const CAutoRender& read, const char* when)
{
    if (Ended(saved.includeText) != read.includeText || Ended(saved.excludeText) != read.excludeText) {
        Broken("the lists read back are not those saved",
               std::string(when) + ": saved " + Shown(saved.includeText) + " / " + Shown(saved.excludeText) +
                   ", read " + Shown(read.includeText) + " / " + Shown(read.excludeText));
    }
}

bool SameKeptLines(const CAutoRender& a, const CAutoRender& b)
{
    const CLineList& x = a.GetKeptLines();
    const CLineList& y = b.GetKeptLines();
    return x.LinesWithEnds(0, x.Count()) == y.LinesWithEnds(0, y.Count()) && x.Count() == y.Count();
}

bool HasPatternLine(const std::wstring& text)
{
    bool any = false;
    ForEachPatternLine(text, [&any](std::wstring_view) { any = true; });
    return any;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzInput input(data, size);
    const unsigned edit = input.Choices() & 3;
    const Op failing = static_cast<Op>(((input.Choices() >> 2) & 7) - 1);
    const bool injecting = ((input.Choices() >> 2) & 7) != 0 && failing < Op::Count;
    const int nth = static_cast<int>(input.Choices() >> 5);
    const std::string& file = input.Bytes(0);

    fuzz_layer::ResetFiles();
    fuzz_layer::PutFile(kPath, file);
    std::string normalised;
    const bool keepable = Normalised(file, normalised);

    // Reading, with an open or a read that fails where asked.
    const bool failRead = injecting && (failing == Op::Open || failing == Op::Read);
    if (failRead) fuzz_layer::FailFrom(failing, nth);
    CAutoRender script;
    const bool read = script.Init(kPath);
    const bool readFailed = failRead && fuzz_layer::Calls(failing) > nth;
    if (fuzz_layer::OpenHandles() != 0) Broken("a read left a handle open");
    fuzz_layer::ResetFiles();
    fuzz_layer::PutFile(kPath, file);
    if (readFailed) {
        if (read) Broken("a script was read although a read of it failed");
        if (script.GetFailure() != ScriptFailure::CannotRead) Broken("a failed read is told as another failure");
        if (!script.includeText.empty() || !script.GetKeptLines().IsEmpty()) Broken("a failed read changed the model");
        return 0;
    }
    if (read != keepable) {
        Broken(keepable ? "a script whose bytes can be kept was refused" : "a script whose bytes cannot be kept was read",
               Shown(file));
    }
    if (!read) {
        if (script.GetFailure() != ScriptFailure::EncodingNotKept) Broken("a refused script is told as another failure");
        return 0;
    }

    // An unchanged save writes the bytes read, each line ended by CR LF.
    if (!script.Save()) Broken("a save that changes nothing failed", Shown(file));
    if (FileNow() != normalised) {
        Broken("a save that changes nothing wrote other bytes",
               "read " + Shown(file) + "\nwritten " + Shown(FileNow()) + "\nexpected " + Shown(normalised));
    }
    OnlyTheScriptAndNoHandle("after an unchanged save");

    // Read again, the same model; saved again, the same bytes.
    CAutoRender again;
    if (!again.Init(kPath)) Broken("a saved script cannot be read", Shown(FileNow()));
    SameModel(script, again, "unchanged");
    if (!SameKeptLines(script, again) || again.GetEncoding() != script.GetEncoding() ||
        again.GetIncludePos() != script.GetIncludePos() || again.GetExcludePos() != script.GetExcludePos()) {
        Broken("reading what an unchanged save wrote gives another model", Shown(file));
    }
    if (!again.Save() || FileNow() != normalised) Broken("a second unchanged save wrote other bytes", Shown(file));
    if (!again.Init(kPath)) Broken("a saved script cannot be read", Shown(FileNow()));

    // An edit, as the quick add or the dialog makes it.
    if (edit == 1) {
        const std::wstring address = input.Units(1);
        if (!IsSinglePattern(address)) return 0;  // the quick add takes only one pattern
        again.includeText += address;
    } else if (edit >= 2) {
        again.includeText = input.Units(1);
        again.excludeText = input.Units(2);
    }
    const std::wstring include = again.includeText;
    const std::wstring exclude = again.excludeText;
    CAutoRender loaded;
    if (!loaded.Init(kPath)) Broken("a saved script cannot be read", Shown(FileNow()));
    const std::string before = FileNow();
    const bool failWrite = injecting && !failRead;
    const int callsBefore = failWrite ? fuzz_layer::Calls(failing) : 0;
    if (failWrite) fuzz_layer::FailFrom(failing, nth);
    const bool saved = again.Save();
    const bool writeFailed = failWrite && fuzz_layer::Calls(failing) - callsBefore > nth;
    if (failWrite) fuzz_layer::FailFrom(failing, -1);
    OnlyTheScriptAndNoHandle("after an edited save");
    if (!saved) {
        if (FileNow() != before) Broken("a failed save changed the file");
        if (again.includeText != include || again.excludeText != exclude) Broken("a failed save changed the lists");
        const ScriptFailure failure = again.GetFailure();
        if (failure == ScriptFailure::CannotWrite && !writeFailed) Broken("a save failed with no write failing");
        if (failure != ScriptFailure::CannotWrite && failure != ScriptFailure::PatternNotWritable &&
            failure != ScriptFailure::MarkAtStart) {
            Broken("a failed save is told as a failure of reading");
        }
        return 0;
    }
    if (writeFailed) Broken("a save succeeded although a write of it failed");

    // What was saved reads back: as the lists, unless the file now reads in another encoding,
    // or a list that had lines lost them all (a later block of its kind, an ordinary comment
    // until then, is the list now).
    CAutoRender back;
    if (!back.Init(kPath)) Broken("a saved script cannot be read", Shown(FileNow()));
    if (back.HasByteOrderMark() != again.HasByteOrderMark()) {
        Broken("a saved script reads with another byte-order mark", Shown(file) + "\nsaved " + Shown(FileNow()));
    }
    // Without a mark, UTF-8 and the code page are told apart by all the bytes: an edit may tip it.
    if (back.GetEncoding() != again.GetEncoding()) return 0;
    const bool includeGone = !loaded.includeText.empty() && !HasPatternLine(include);
    const bool excludeGone = !loaded.excludeText.empty() && !HasPatternLine(exclude);
    if (includeGone || excludeGone) return 0;
    SameModel(again, back, "edited");
    if (!SameKeptLines(loaded, back)) Broken("an edited save changed lines that are no patterns", Shown(file));
    return 0;
}
