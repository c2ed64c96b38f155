#pragma once
// Saving a user's file without ever leaving it truncated or half-written: the new content goes
// to a new file in the same folder, is flushed to disk, and then takes the old file's place in
// one step. On any failure the old file stays exactly as it was.

#include <functional>
#include <string>

#include "support/LastError.h"

class CTextStream;

class CAtomicFileWriter {
public:
    explicit CAtomicFileWriter(const std::wstring& targetPath);
    ~CAtomicFileWriter();
    CAtomicFileWriter(const CAtomicFileWriter&) = delete;
    CAtomicFileWriter& operator=(const CAtomicFileWriter&) = delete;

    // Creates the empty temporary file beside the target.
    bool Begin();
    const std::wstring& GetTempPath() const { return tempPath_; }
    // Flushes the temporary file to disk and puts it in the target's place.
    bool Commit();
    // Removes the temporary file (also done by the destructor unless committed).
    void Discard();

    const CLastError& Error() const { return error_; }

private:
    bool FlushToDisk();
    bool ReplaceExisting();
    bool MoveIntoPlace();

    std::wstring targetPath_;   // full path
    std::wstring tempPath_;
    bool committed_ = false;
    bool keepTemp_ = false;     // the temporary file holds the only copy of the new content
    CLastError error_;
};

// Writes a text file through CAtomicFileWriter: opens the temporary file in the given
// encoding, lets writeLines fill it (false aborts), checks that every byte reached the file,
// and commits. Failures leave the reason in error.
bool SaveTextFileAtomically(const std::wstring& path, bool unicode,
                            const std::function<bool(CTextStream&)>& writeLines, CLastError& error);
