#pragma once
// One user script as the program edits it: the "//@include " and "//@exclude " patterns of its
// comment header as two texts (one pattern per line, each ended by CR LF), and every other line
// exactly as read. Save puts the patterns back where their blocks stood.

#include <cstdint>
#include <string>

#include "support/LastError.h"
#include "support/LineList.h"

class CTextStream;

class CAutoRender {
public:
    CAutoRender() = default;

    // Reads and parses the script (ANSI code page). False when it cannot be opened or a read
    // fails before its end; then nothing has changed.
    bool Init(const std::wstring& path);
    // Parses a script from any line source, as Init does with the file at path. sizeHint, when
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
    const CLineList& GetKeptLines() const { return keptLines_; }
    const std::wstring& GetScriptPath() const { return scriptPath_; }
    const CLastError& Error() const { return error_; }

private:
    int32_t includePos_ = -1;   // index in keptLines_ before which the include block stood; -1: none
    int32_t excludePos_ = -1;
    CLineList keptLines_;       // every line but the pattern lines taken apart, in file order
    std::wstring scriptPath_;
    CLastError error_;
};

extern CAutoRender g_autoRender;
