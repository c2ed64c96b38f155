#pragma once
// One user script as the program edits it: the "//@include " and "//@exclude " patterns of its
// comment header as two texts (one pattern per line, each ended by CR LF), and every other line
// as the bytes it was read as. Save puts the patterns back where their blocks stood.
//
// The script's encoding is decided once, from its bytes, when it is read: a byte-order mark
// (FF FE: UTF-16 LE; EF BB BF: UTF-8), else UTF-8 when the whole file is strictly valid UTF-8
// and not plain ASCII, else the system ANSI code page. The pattern texts are decoded from it
// and encoded back into it; the mark is written again first.

#include <cstdint>
#include <string>

#include "support/LastError.h"
#include "support/LineList.h"
#include "textio/TextStream.h"

class CAutoRender {
public:
    CAutoRender() = default;

    // Reads and parses the script. False when it cannot be opened or a read fails before its
    // end; then nothing has changed.
    bool Init(const std::wstring& path);
    // Parses a script from any byte source (at its start, taking 8-bit text), as Init does with
    // the file at path. sizeHint, when
    // not 0, is the source's size in bytes: storage for the kept lines and the pattern texts is
    // then set aside at once. It is only a hint; the source is read to its end whatever it says.
    bool Read(CTextStream& in, const std::wstring& path, uint64_t sizeHint = 0);
    // Writes the script back to the path of the last Init, replacing it in one step. False when
    // it cannot be written; then neither the file nor the fields have changed.
    bool Save();
    // Writes the whole script, pattern lines rebuilt from the two texts, to out.
    // False as soon as one line cannot be written.
    bool WriteScript(CTextStream& out) const;

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

private:
    int32_t includePos_ = -1;   // index in keptLines_ before which the include block stood; -1: none
    int32_t excludePos_ = -1;
    CLineList keptLines_;       // every line but the pattern lines taken apart, in file order
    TextEncoding encoding_ = TextEncoding::Ansi;
    bool byteOrderMark_ = false;
    std::wstring scriptPath_;
    CLastError error_;
};

extern CAutoRender g_autoRender;
