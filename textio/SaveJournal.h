#pragma once
// The rollback copy of a file that a save writes in place (CAtomicFileWriter tells when). The
// old bytes are copied whole into a journal, which is flushed before the first byte of the file
// changes and removed once the new content is flushed: a journal found later means that save
// never ended, and its bytes go back (RecoverInterruptedSave). So the file holds the whole old
// content, or, once the journal is gone, the whole new one, as under SQLite's rollback journal.
//
// Where: beside the file, as "Morvanti.<index>.journal" (hidden; the index is the file's on its
// volume, 16 hexadecimal digits), so that every program and every PC that reaches the folder finds
// it; where the folder refuses new files, in the user's own folder
// "%LOCALAPPDATA%\Morvanti\<index>.journal". Either way it is keyed by the file itself, not by the
// name it was reached by: a hard link's other name and a symbolic link find it too. It holds the
// file's index and final path, the old size, a checksum and the old bytes. A journal whose
// checksum does not come out was never complete, and its file was not touched.

#include <windows.h>

#include <cstdint>
#include <string>

#include "support/LastError.h"
#include "support/OwnedHandle.h"
#include "textio/FileUtil.h"

class CSaveJournal {
public:
    CSaveJournal() = default;
    CSaveJournal(const CSaveJournal&) = delete;
    CSaveJournal& operator=(const CSaveJournal&) = delete;

    // Copies every byte of target (open for reading; its state and final path as given) into a new
    // journal, beside it when its folder takes one, else in the user's folder, and flushes it. False,
    // with the reason in Error(), when no journal could be made whole: target must not be written.
    bool Write(HANDLE target, const std::wstring& finalPath, const FileState& state);
    // Opens the journal at path, left by an earlier save, and reads it through: IsComplete() then
    // tells whether its bytes came out whole. False when it cannot be opened or read.
    bool Open(const std::wstring& path);
    bool IsComplete() const { return complete_; }
    // Whether the file open as target is the one the journal was made for: the same index, and,
    // for a journal in the user's folder (which holds the journals of every volume), the same
    // final path.
    bool BelongsTo(HANDLE target) const;
    // Puts the journal's bytes back into target (open for writing), cuts it after them, flushes it.
    bool RestoreInto(HANDLE target);
    // Closes and deletes the journal (waiting out a short hold by another program). False, with
    // the reason in Error(), when it stays.
    bool Remove();
    bool IsOpen() const { return file_.IsValid(); }
    const std::wstring& GetPath() const { return path_; }
    const CLastError& Error() const { return error_; }

private:
    bool CreateAt(const std::wstring& path, DWORD attributes);
    // Reads the bytes after the header in pieces, handing each to use; false when a read fails.
    template <typename Use>
    bool ForEachPiece(Use use);

    CFileHandle file_;
    std::wstring path_;
    std::wstring finalPath_;    // the target's, as the journal holds it
    uint64_t index_ = 0;
    uint64_t size_ = 0;         // old bytes the journal holds
    uint64_t dataStart_ = 0;    // where they start in the journal
    bool complete_ = false;
    CLastError error_;
};

// The journal that an interrupted in-place save of the file (its final path and state as given)
// left, beside it or in the user's folder; empty when there is none.
std::wstring FindSaveJournal(const std::wstring& finalPath, const FileState& state);
// Puts the old bytes of the interrupted save whose journal is at journal back into the file at
// path, then removes the journal. A journal that was never complete, or that belongs to a file no
// longer under that name (another program replaced it since), is removed and the file left as it
// is. False, with the reason in error, when the bytes cannot go back: the journal then stays.
bool RecoverInterruptedSave(const std::wstring& path, const std::wstring& journal, CLastError& error);
