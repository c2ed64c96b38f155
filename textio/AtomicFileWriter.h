#pragma once
// Saving a user's file without ever leaving it truncated or half-written: the new content goes
// to a new file in the same folder, is flushed to disk, and then takes the old file's place in
// one step. On any failure the old file stays exactly as it was.

#include <cstdint>
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
    // Flushes the temporary file to disk and puts it in the target's place. Once it succeeded,
    // the leftovers of earlier interrupted saves in the target's folder are removed (see
    // SaveFileKind).
    bool Commit();
    // Removes the temporary file (also done by the destructor unless committed).
    void Discard();

    const CLastError& Error() const { return error_; }

private:
    bool FlushToDisk();
    // Refuses a read-only target, and gives the new file the target's hidden, system and
    // not-indexed attributes.
    bool CarryAttributesOver();
    bool MoveIntoPlace();

    std::wstring targetPath_;   // full path, in the "\\?\" form when it is too long for the plain one
    std::wstring tempPath_;
    bool committed_ = false;
    CLastError error_;
};

// Writes a text file through CAtomicFileWriter: opens the temporary file in the given
// encoding, lets writeLines fill it (false aborts), checks that every byte reached the file,
// and commits. Failures leave the reason in error.
bool SaveTextFileAtomically(const std::wstring& path, bool unicode,
                            const std::function<bool(CTextStream&)>& writeLines, CLastError& error);

// The files a save makes beside the saved file: "~mvt" holds the new content while it is written
// (earlier versions also moved the old file to a "~mvb" name while ReplaceFileW put the new one
// in its place; such leftovers are still removed). Their names are "~mvt" or "~mvb", eight
// uppercase hexadecimal digits and ".tmp": 16 characters, shorter than the script's own default
// name, so they fit in every folder where such a script fits. The digits are the time the file
// was made, in seconds since 1970 (UTC), or a few seconds later when that name was taken: a
// successful save removes the files of this form whose names are ten minutes old or more,
// judged by the name alone, and no other files.
enum class SaveFileKind { Temporary, Backup };

// How many numbers CreateSaveFile tries before it gives up on a folder full of taken names.
const unsigned kSaveFileAttempts = 32;

// The current time as a save file's name holds it: seconds since 1970 (UTC).
uint32_t SaveFileTimeNow();

// The path of the save file of the given kind and number in folder (a full path ending in a
// backslash); in the "\\?\" (or "\\?\UNC\") form where the plain path would reach MAX_PATH.
std::wstring SaveFilePath(const std::wstring& folder, SaveFileKind kind, uint32_t number);

// Creates a new, empty save file in folder, trying firstNumber and the numbers after it while
// a name is taken. False, with the reason in error, when the folder refuses it or every
// attempted name is taken.
bool CreateSaveFile(const std::wstring& folder, SaveFileKind kind, uint32_t firstNumber, std::wstring& path,
                    CLastError& error);
