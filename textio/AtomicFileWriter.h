#pragma once
// Saving a user's file without ever leaving it truncated or half-written, in one of two ways,
// chosen per file, as Vim's 'backupcopy' "auto" chooses:
// - Replace, the usual way: the new content goes to a new file in the same folder, is flushed to
//   disk, and takes the old file's name in one rename. On any failure the old file stays exactly
//   as it was.
// - In place, under a rollback journal (CSaveJournal), where the replace would lose something or
//   is not allowed, for a file whose reader recovers journals (SaveOptions::mayWriteInPlace): a
//   file with more than one name (a hard link), a file reached through a link (the save goes to
//   the file the link names, and the link stays a link), an encrypted file, a file whose owner or
//   access list a new file in its folder would not get, and a folder that refuses new files or the
//   rename. The file stays the file it was, with its names, owner, access list, encryption,
//   attributes and creation time.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "support/LastError.h"
#include "support/OwnedHandle.h"
#include "textio/FileUtil.h"
#include "textio/SaveJournal.h"

class CTextStream;

struct SaveOptions {
    // The file's reader puts back what an interrupted save left in a journal before it reads
    // (FindSaveJournal, RecoverInterruptedSave): the save may go in place.
    bool mayWriteInPlace = false;
    // The file's state as it was read: the new content goes in only while the file is still that
    // one (StillTheFileRead), else the save fails with kFileChangedMeanwhile, the file untouched.
    const FileState* expected = nullptr;
    // The caller's open handle on the file, which holds its turn (CScriptSaveLock): closed just
    // before the rename (no file is renamed over while open), written through in place when
    // heldWritable.
    CFileHandle* held = nullptr;
    bool heldWritable = false;
};

// One save of one file: it chooses the way, writes the new content (the replace's new file, which
// its handle reserves, or memory, for the in-place write), and puts it in the target's place.
class CAtomicFileWriter {
public:
    enum class Way { Replace, InPlace };

    explicit CAtomicFileWriter(const std::wstring& targetPath, const SaveOptions& options = SaveOptions());
    // The same, its failures recorded in the caller's record.
    CAtomicFileWriter(const std::wstring& targetPath, CLastError& record, const SaveOptions& options = SaveOptions());
    virtual ~CAtomicFileWriter();
    CAtomicFileWriter(const CAtomicFileWriter&) = delete;
    CAtomicFileWriter& operator=(const CAtomicFileWriter&) = delete;

    // Chooses the way. Replace: creates the new, empty file beside the target (a save file,
    // SaveLeftovers.h) and keeps it open. In place: nothing is touched yet; the new content
    // collects in memory.
    bool Begin();
    Way GetWay() const { return way_; }
    const std::wstring& GetSavePath() const { return savePath_; }
    // Writes the bytes to the new file, or keeps them for the in-place write; false, with the
    // system's reason (ERROR_DISK_FULL, ...) in Error(), when not all of them went.
    bool Write(const void* bytes, size_t count);
    // Replace: gives the new file the target's attributes, flushes it to disk, closes it and puts
    // it in the target's place, waiting out a short hold of the target by another program
    // (RetryWhileHeld); once that succeeded, the leftovers of earlier interrupted saves in the
    // target's folder are removed. In place: copies the target's bytes into a journal and flushes
    // it, writes the new content over the target, cuts it after that and flushes it, and removes
    // the journal. Either way the target is first checked to be the file that was read
    // (SaveOptions::expected).
    bool Commit();
    // After a failed Commit: the rename was refused for good (the user may not replace the file,
    // as opposed to another program's hold) where the save may go in place. The next Begin then
    // writes in place.
    bool ReplaceRefused() const { return replaceRefused_; }
    // Closes and removes the new file, or, after an in-place write that did not end, puts the old
    // bytes back from the journal and removes it (also done by the destructor unless committed).
    void Discard();
    // After Commit: the state of the target as written.
    const FileState& WrittenState() const { return written_; }

    CLastError& Error() { return error_; }
    const CLastError& Error() const { return error_; }

protected:
    // The byte sink under Write and Commit: WriteFile and FlushFileBuffers on the new file's
    // handle, or on the target's in place. False with the reason in GetLastError(), as those calls
    // give it.
    virtual bool WriteToFile(HANDLE file, const void* bytes, DWORD count, DWORD& written);
    virtual bool FlushFile(HANDLE file);

private:
    // Looks at the target and writes in place where it must; false when it cannot be looked at
    // for a reason other than not being there.
    bool ChooseWay();
    bool BeginInPlace(const wchar_t* why);
    bool CommitReplace();
    bool CommitInPlace();
    // Refuses a read-only target, and gives the new file the target's hidden, system and
    // not-indexed attributes.
    bool CarryAttributesOver();
    bool MoveIntoPlace();
    bool TargetStillAsRead();
    bool WriteAllTo(HANDLE file, const void* bytes, size_t count);

    std::wstring targetPath_;   // full path, in the "\\?\" form when it is too long for the plain one
    std::wstring finalPath_;    // the file the target's path names, links followed
    SaveOptions options_;
    Way way_ = Way::Replace;
    bool forceInPlace_ = false;
    bool replaceRefused_ = false;
    bool targetExists_ = false;
    FileState targetState_;
    CFileHandle ownLook_;       // the target, opened to look at it when the caller holds no handle
    HANDLE look_ = INVALID_HANDLE_VALUE;
    std::wstring savePath_;     // the new file, until it takes the target's name
    CFileHandle file_;
    std::string content_;       // in place: the new content, until Commit
    CFileHandle ownTarget_;     // in place: the target, opened for writing when the caller's handle is not
    HANDLE target_ = INVALID_HANDLE_VALUE;
    CSaveJournal journal_;
    FileState written_;
    bool committed_ = false;
    CLastError ownError_;
    CLastError& error_;         // ownError_ or the caller's record
};

// Writes a text file through writer, not yet begun: lets writeLines fill the new content in the
// given encoding (false aborts), checks that every byte reached the file, and commits; where the
// rename is refused for good and the writer may write in place, the content goes in place instead.
// Failures leave the reason in writer.Error(): the system's own when a write or the flush failed.
bool SaveTextFileAtomically(CAtomicFileWriter& writer, bool unicode,
                            const std::function<bool(CTextStream&)>& writeLines);
// The same through a writer of its own, which records its failures in error.
bool SaveTextFileAtomically(const std::wstring& path, bool unicode,
                            const std::function<bool(CTextStream&)>& writeLines, CLastError& error,
                            const SaveOptions& options = SaveOptions());

// Creates a new, empty save file in folder (SaveFilePath), trying firstNumber and the numbers
// after it while a name is taken (a few dozen of them), and gives its path and its handle, open for
// writing. False, with the reason in error, when the folder refuses it (ERROR_ACCESS_DENIED for a
// name that no file takes) or every attempted name is taken (ERROR_FILE_EXISTS).
bool CreateSaveFile(const std::wstring& folder, uint32_t firstNumber, std::wstring& path, CFileHandle& file,
                    CLastError& error);
