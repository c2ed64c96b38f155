#pragma once
// Saving a user's file without ever leaving it truncated or half-written: the new content goes
// to a new file in the same folder, is flushed to disk, and then takes the old file's name in one
// rename. On any failure the old file stays exactly as it was.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "support/LastError.h"
#include "support/OwnedHandle.h"

class CTextStream;

// The one handle of the new file: it makes the file (reserving its name), writes it, flushes it
// and closes it, and only then is the file put in the target's place.
class CAtomicFileWriter {
public:
    explicit CAtomicFileWriter(const std::wstring& targetPath);
    // The same, its failures recorded in the caller's record.
    CAtomicFileWriter(const std::wstring& targetPath, CLastError& record);
    virtual ~CAtomicFileWriter();
    CAtomicFileWriter(const CAtomicFileWriter&) = delete;
    CAtomicFileWriter& operator=(const CAtomicFileWriter&) = delete;

    // Creates the new, empty file beside the target (a save file, SaveLeftovers.h) and keeps it open.
    bool Begin();
    const std::wstring& GetSavePath() const { return savePath_; }
    // Writes the bytes to the new file; false, with the system's reason (ERROR_DISK_FULL, ...)
    // in Error(), when not all of them went.
    bool Write(const void* bytes, size_t count);
    // Gives the new file the target's attributes, flushes it to disk, closes it and puts it in
    // the target's place, waiting out a short hold of the target by another program
    // (RetryWhileHeld). Once that succeeded, the leftovers of earlier interrupted saves in the
    // target's folder are removed.
    bool Commit();
    // Closes and removes the new file (also done by the destructor unless committed).
    void Discard();

    CLastError& Error() { return error_; }
    const CLastError& Error() const { return error_; }

protected:
    // The byte sink under Write and Commit: WriteFile and FlushFileBuffers on the new file's
    // handle. False with the reason in GetLastError(), as those calls give it.
    virtual bool WriteToFile(HANDLE file, const void* bytes, DWORD count, DWORD& written);
    virtual bool FlushFile(HANDLE file);

private:
    // Refuses a read-only target, and gives the new file the target's hidden, system and
    // not-indexed attributes.
    bool CarryAttributesOver();
    bool MoveIntoPlace();

    std::wstring targetPath_;   // full path, in the "\\?\" form when it is too long for the plain one
    std::wstring savePath_;     // the new file, until it takes the target's name
    CFileHandle file_;
    bool committed_ = false;
    CLastError ownError_;
    CLastError& error_;         // ownError_ or the caller's record
};

// Writes a text file through writer, not yet begun: lets writeLines fill the new file in the given
// encoding (false aborts), checks that every byte reached the file, and commits. Failures leave
// the reason in writer.Error(): the system's own when a write or the flush failed.
bool SaveTextFileAtomically(CAtomicFileWriter& writer, bool unicode,
                            const std::function<bool(CTextStream&)>& writeLines);
// The same through a writer of its own, which records its failures in error.
bool SaveTextFileAtomically(const std::wstring& path, bool unicode,
                            const std::function<bool(CTextStream&)>& writeLines, CLastError& error);

// Creates a new, empty save file in folder (SaveFilePath), trying firstNumber and the numbers
// after it while a name is taken (a few dozen of them), and gives its path and its handle, open for
// writing. False, with the reason in error, when the folder refuses it or every attempted name is
// taken (ERROR_FILE_EXISTS).
bool CreateSaveFile(const std::wstring& folder, uint32_t firstNumber, std::wstring& path, CFileHandle& file,
                    CLastError& error);
