#pragma once
// A text file read and written line by line, in the system ANSI code page or in UTF-16 LE,
// as the caller chooses when opening it. No byte-order mark is read or written on its own.
// Only a file on a disk is opened (OpenDiskFile): never a device or a pipe.
//
// A file opened for reading alone is read to its end: a read that gives fewer bytes than asked is
// followed by another (a network file system may give less before the end), and only a read that
// gives none ends the file. Then the bytes read must be the whole file as it was opened: when
// their count differs from its size then, or it is no longer the same file, size and last-write
// time (another program wrote it meanwhile), the read fails with kFileChangedMeanwhile.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "support/OwnedHandle.h"
#include "textio/FileUtil.h"
#include "textio/TextStream.h"

enum OpenMode : uint32_t {
    kOpenRead = 1,       // reading; the file must exist
    kOpenReadWrite = 2,  // reading and writing; the file must exist, its content stays
    kOpenWrite = 4,      // writing; the file is created, or emptied if it exists
    kOpenBinary = 8,     // always added: bytes go through as they are, line ends included
};

class CTextFile : public CTextStream {
public:
    CTextFile();
    CTextFile(const std::wstring& path, uint32_t mode, bool unicode);
    ~CTextFile() override;

    bool FillBuffer() override;
    // A failed write keeps the system's reason (ERROR_DISK_FULL, ...) in Error().
    bool WriteRaw(const void* bytes, int32_t count) override;

    // Opens the file under its wide-character name. A file already open is closed first,
    // and a successful open always leaves the object ready to read or write.
    bool Open(const std::wstring& path, uint32_t mode, bool unicode);
    // Opens the file for reading in the encoding it has: the one a byte-order mark names (the
    // mark is then skipped), else the one DecideEncoding gives among choices (EncodingChoice).
    // Whether the bytes are UTF-8, or UTF-16 without a mark, shows only in all of them, so the
    // whole file is read here and its lines are then taken from memory: for the small files of
    // settings and preferences. False, with the system's reason in Error(), when the file cannot
    // be opened or read.
    bool OpenText(const std::wstring& path, unsigned choices);
    // After OpenText: whether the file began with a byte-order mark.
    bool HadByteOrderMark() const { return hadMark_; }
    // Closes the file; false when pending data could not be written out.
    bool Close();
    // Hands the lines waiting in memory to the system; false (and the sticky error) when that fails.
    bool Flush();
    bool IsOpen() const { return file_.IsValid(); }
    std::wstring GetPath() const { return path_; }
    // The state of the open file when it was opened; false when the system could not tell.
    bool GetOpenedState(FileState& state) const;
    // The open file's path with links followed (FinalPathOf); empty when none is open or the
    // system cannot tell.
    std::wstring FinalPath() const;
    // With auto-flush every write reaches the file at once; without it lines written to a file
    // opened for writing only collect in memory and go out together.
    void SetAutoFlush(bool autoFlush);
    int64_t GetLength();

private:
    // The file is read in blocks this large, each handed to the line logic whole: a script of
    // many megabytes costs few system calls and few refills.
    static constexpr uint32_t kBlockSize = 64 * 1024;
    // How many written bytes collect before they go to the file together.
    static constexpr size_t kWriteLimit = 64 * 1024;

    // Lets written lines collect when nothing else reads the file or needs each write at once.
    void ChooseWriteLimit();
    // Forgets the bytes read ahead and not handed out yet, moving the file position back to the
    // first of them, so that a write in a file open for both lands where reading stopped (after
    // a line that ended at a CR that is before its LF, which the next read would take).
    bool DropReadAhead();
    // Closes the handle (a failure goes to Error()) and forgets what was read ahead.
    bool CloseFile();
    // At the end of a file open for reading alone: whether the bytes read are the whole file as it
    // was opened (see above).
    bool ReadTheWholeFile() const;

    CFileHandle file_;
    std::unique_ptr<unsigned char[]> block_;
    bool atEnd_ = false;        // a read gave no more bytes: the file has ended
    uint64_t bytesRead_ = 0;    // bytes read from the file since it was opened
    FileState opened_;          // the file's state when it was opened
    bool openedKnown_ = false;
    std::string whole_;         // the file's bytes, after OpenText
    bool hadMark_ = false;
    std::wstring path_;
    bool autoFlush_ = false;
};
