#pragma once
// One user script as the program edits it: the "//@include " and "//@exclude " patterns of its
// comment header as two texts (one pattern per line, each ended by CR LF), and every other line as
// the bytes it was read as. Save puts the patterns back where their blocks stood. A header line is
// a pattern line only when a save would write it back as that line: one whose pattern is nothing
// but spaces and tabs, or holds U+2028 or U+2029 (line breaks of a list, see PatternText.h), is an
// ordinary comment, which ends its block and stays as it was.
//
// The script's encoding is decided once, from its bytes, when it is read: a byte-order mark, else
// UTF-8 when the whole file is strictly valid UTF-8 and not plain ASCII, else the system ANSI code
// page. The pattern texts are decoded from it; the mark is written again first.
//
// A save changes only what it was asked to: every line that is not a pattern line, and every
// pattern line whose text is still in its list, goes back as the bytes it was read as; only new or
// edited patterns are encoded, and only when that loses nothing. A file whose bytes could not all
// be kept that way (UTF-16 big-endian, a NUL, a lone last byte of UTF-16) is not read at all. Line
// ends become CR LF.

#include <cstdint>
#include <functional>
#include <string>

#include "script/PatternBytes.h"
#include "script/PatternText.h"
#include "support/LastError.h"
#include "support/LineList.h"
#include "textio/FileUtil.h"
#include "textio/TextStream.h"

class CScriptSaveLock;

// Why the last Init or Save failed, for the message the caller shows.
enum class ScriptFailure {
    None,
    CannotRead,           // cannot be opened, or a read failed
    EncodingNotKept,      // its bytes could not be written back as they are
    PatternNotWritable,   // a new or edited pattern has characters the script's encoding lacks
    CannotWrite,          // the new content could not be written or put in place, or its turn did not come
    MarkAtStart,          // an unmarked script would begin with bytes that read as a byte-order mark
};

class CAutoRender {
public:
    CAutoRender() = default;

    // Reads and parses the script. False when it cannot be opened, a read fails before its
    // end (or the file changed while it was read: kFileChangedMeanwhile), or its bytes could not
    // all be written back; then nothing has changed. An in-place save of the script that never
    // ended (a crash, a kill) left its old bytes in a journal: they go back first, under the
    // script's turn (SaveJournal.h), so the script read is the whole old or the whole new one.
    bool Init(const std::wstring& path);
    // Parses a script from any byte source (at its start, taking 8-bit text), as Init does with the
    // file at path. sizeHint, when not 0, is the source's size in bytes, for storage set aside at
    // once; only a hint: the source is read to its end whatever it says.
    bool Read(CTextStream& in, const std::wstring& path, uint64_t sizeHint = 0);
    // Writes the script back to the path of the last Init in the way that keeps what the file is
    // (CAtomicFileWriter: one rename, or in place under a journal), and only while it is still the
    // file Init read (else kFileChangedMeanwhile in Error()); the texts split into pattern lines by
    // the rule of PatternText.h. A new pattern the script's encoding cannot hold without loss turns
    // a plain-ASCII script into UTF-8 (without a mark); any other script is not written. Nor is an
    // unmarked script whose first bytes would then read as a mark (MarkAtStart: the line after its
    // first pattern block, now first, begins with FE FF, FF FE or EF BB BF). False when not
    // written; then the file and the fields are unchanged. After a save the texts are the lists
    // that reading the file gives (without a line end after the last pattern).
    bool Save();
    // Writes the whole script, pattern lines rebuilt from the two texts, to out, in the
    // script's encoding. False as soon as one line cannot be written, or cannot be written
    // without loss.
    bool WriteScript(CTextStream& out) const;
    // One edit of the script at path, the one way the program changes a script: under the script's
    // turn (CScriptSaveLock), from the read (Init) through the save, change altering the two texts
    // in between; the turn ends before returning, so before the caller shows any message. Lines
    // another program changed outside the pattern blocks meanwhile survive; when it writes the
    // script between the read and the save, the edit starts again from the read, a few times at
    // most. False when a step fails: GetFailure() tells which (no script on a disk is a read
    // failure), and the file is as it was.
    bool Edit(const std::wstring& path, const std::function<void(CAutoRender&)>& change);

    std::wstring includeText;
    std::wstring excludeText;

    int32_t GetIncludePos() const { return includePos_; }
    int32_t GetExcludePos() const { return excludePos_; }
    // The kept lines as the bytes they were read as.
    const CLineList& GetKeptLines() const { return keptLines_; }
    TextEncoding GetEncoding() const { return encoding_; }
    bool HasByteOrderMark() const { return byteOrderMark_; }
    const std::wstring& GetScriptPath() const { return scriptPath_; }
    const CLastError& Error() const { return error_; }
    ScriptFailure GetFailure() const { return failure_; }
    // After PatternNotWritable: the first pattern that could not be written.
    const std::wstring& GetUnwritablePattern() const { return unwritablePattern_; }

private:
    struct Header;
    // Reads the lines of in into header; false, with the reason, when a read fails or the bytes
    // could not all be kept.
    bool ReadHeader(CTextStream& in, Header& header);
    // Makes the header, read and decoded, this script's.
    void Keep(Header& header, const std::wstring& path, TextEncoding encoding, bool hasMark, bool asciiOnly);
    // Every failure: remembers which it was and why (the system's reason, or the program's own
    // text with Refuse). Returns false, for the caller to return.
    bool Fail(ScriptFailure failure, const CLastError& reason);
    bool Refuse(ScriptFailure failure, const wchar_t* why, DWORD code);
    // True when the script has no mark and its first bytes, as Save would write them, are one:
    // the next read would take the file for UTF-16 or marked UTF-8, or refuse it.
    bool FirstBytesReadAsMark() const;
    // Puts back the old bytes of the interrupted save that left journal, under the script's turn.
    bool RollBack(const std::wstring& path, const std::wstring& journal);
    // WriteScript in the given encoding; a pattern that cannot be written in it goes to unwritable.
    // Each list's pattern lines are shown to its read-back check, where one is given.
    bool Write(CTextStream& out, TextEncoding encoding, std::wstring& unwritable, PatternReadBackCheck* includeReadBack,
               PatternReadBackCheck* excludeReadBack) const;

    int32_t includePos_ = -1;   // index in keptLines_ before which the include block stood; -1: none
    int32_t excludePos_ = -1;
    bool excludeFirst_ = false; // the exclude block began before the include block
    CLineList keptLines_;       // every line but the pattern lines taken apart, in file order
    CPatternBytes includeBytes_;  // pattern lines whose text would not give their bytes again
    CPatternBytes excludeBytes_;
    TextEncoding encoding_ = TextEncoding::Ansi;
    bool byteOrderMark_ = false;
    bool asciiOnly_ = false;    // every byte of the file was below 80, no mark
    std::wstring scriptPath_;
    FileState readState_;       // the file as the last Init read it, or as the last Save wrote it
    bool readStateKnown_ = false;
    CScriptSaveLock* turn_ = nullptr;   // the turn that Edit holds meanwhile
    CLastError error_;
    ScriptFailure failure_ = ScriptFailure::None;
    std::wstring unwritablePattern_;
};

extern CAutoRender g_autoRender;
