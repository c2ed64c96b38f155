#include "textio/AtomicFileWriter.h"

#include <algorithm>

#include "support/Paths.h"
#include "textio/DeviceName.h"
#include "textio/FileUtil.h"
#include "textio/HeldFile.h"
#include "textio/SaveLeftovers.h"
#include "textio/TextStream.h"

namespace {

// How many numbers CreateSaveFile tries before it gives up on a folder full of taken names.
const unsigned kSaveFileNames = 32;

// How many written bytes collect before they go to the new file together.
const size_t kWriteBlock = 64 * 1024;

// Lines written to a writer's new file: the line logic of CTextStream over the writer's bytes,
// which go out in blocks.
class CWriterStream : public CTextStream {
public:
    CWriterStream(CAtomicFileWriter& writer, bool unicode) : writer_(writer)
    {
        Opened(kModeWrite, unicode);
        ShareErrorRecord(writer.Error());
        SetWriteLimit(kWriteBlock);
    }

    bool WriteRaw(const void* bytes, int32_t count) override
    {
        if (count < 0) return Fail(ERROR_INVALID_PARAMETER);
        return writer_.Write(bytes, static_cast<size_t>(count)) || FailWithReasonKept();
    }

    // Hands the bytes still waiting to the writer; false when any write failed.
    bool Finish() { return FlushWrites() && !HasError(); }

private:
    CAtomicFileWriter& writer_;
};

} // namespace

bool CreateSaveFile(const std::wstring& folder, uint32_t firstNumber, std::wstring& path, CFileHandle& file,
                    CLastError& error)
{
    for (unsigned attempt = 0; attempt < kSaveFileNames; ++attempt) {
        const std::wstring candidate = SaveFilePath(folder, firstNumber + attempt);
        // Nobody else has a use for the file while it is written.
        file = OpenDiskFile(candidate, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, error);
        if (file.IsValid()) {
            path = candidate;
            return true;
        }
        // A name taken by a file or a folder, or by a file in the middle of being deleted, answers
        // "exists" or "access denied"; a folder that refuses new files gives its reason once its
        // names are tried. The last name's reason stays in error.
        const DWORD code = error.GetErrorCode();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS && code != ERROR_ACCESS_DENIED) return false;
    }
    return false;
}

CAtomicFileWriter::CAtomicFileWriter(const std::wstring& targetPath) : CAtomicFileWriter(targetPath, ownError_) {}

CAtomicFileWriter::CAtomicFileWriter(const std::wstring& targetPath, CLastError& record)
    : targetPath_(LongPathForm(GetFullPath(targetPath))), error_(record)
{
}

CAtomicFileWriter::~CAtomicFileWriter()
{
    if (!committed_) Discard();
}

bool CAtomicFileWriter::Begin()
{
    // A device or a pipe is never written to, nor a file made beside it.
    if (NamesDevice(targetPath_)) {
        error_.SetErrorFromCode(ERROR_BAD_FILE_TYPE);
        return false;
    }
    if (!CreateSaveFile(DirectoryOfPath(targetPath_), SaveFileTimeNow(), savePath_, file_, error_)) {
        savePath_.clear();
        return false;
    }
    return true;
}

bool CAtomicFileWriter::WriteToFile(HANDLE file, const void* bytes, DWORD count, DWORD& written)
{
    return WriteFile(file, bytes, count, &written, nullptr) != FALSE;
}

bool CAtomicFileWriter::FlushFile(HANDLE file)
{
    return FlushFileBuffers(file) != FALSE;
}

bool CAtomicFileWriter::Write(const void* bytes, size_t count)
{
    if (!file_.IsValid()) {
        error_.SetErrorFromCode(ERROR_INVALID_HANDLE);
        return false;
    }
    const char* next = static_cast<const char*>(bytes);
    while (count > 0) {
        const DWORD part = static_cast<DWORD>(std::min(count, kMostBytesPerCall));
        DWORD written = 0;
        if (!WriteToFile(file_.Get(), next, part, written)) {
            error_.SetErrorFromLastError();
            return false;
        }
        // A file on a disk takes all or fails; a write that takes nothing would never end.
        if (written == 0) {
            error_.SetErrorFromCode(ERROR_WRITE_FAULT);
            return false;
        }
        next += written;
        count -= written;
    }
    return true;
}

void CAtomicFileWriter::Discard()
{
    file_.Close();
    if (!savePath_.empty()) DeleteFileW(savePath_.c_str());
    savePath_.clear();
}

bool CAtomicFileWriter::CarryAttributesOver()
{
    const DWORD old = GetFileAttributesW(targetPath_.c_str());
    // No file yet; or one that cannot even be asked, which the move then answers for.
    if (old == INVALID_FILE_ATTRIBUTES) return true;
    // Windows does not rename over a read-only file (Wine would): it is not replaced.
    if ((old & FILE_ATTRIBUTE_READONLY) != 0) {
        error_.SetErrorFromCode(ERROR_ACCESS_DENIED);
        return false;
    }
    FILE_BASIC_INFO basic = {};  // times of zero stay as they are
    basic.FileAttributes = old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (basic.FileAttributes == 0) return true;
    if (!SetFileInformationByHandle(file_.Get(), FileBasicInfo, &basic, sizeof basic)) {
        error_.SetErrorFromLastError();
        return false;
    }
    return true;
}

bool CAtomicFileWriter::MoveIntoPlace()
{
    const DWORD code = RetryWhileHeld(targetPath_, [this] {
        const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
        return MoveFileExW(savePath_.c_str(), targetPath_.c_str(), flags) ? ERROR_SUCCESS : GetLastError();
    });
    if (code == ERROR_SUCCESS) return true;
    error_.SetErrorFromCode(code);
    return false;
}

bool CAtomicFileWriter::Commit()
{
    if (!file_.IsValid()) {
        error_.SetErrorFromCode(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!CarryAttributesOver()) return false;
    if (!FlushFile(file_.Get()) || !file_.Close()) {
        error_.SetErrorFromLastError();
        return false;
    }
    // The new content takes the name in one rename, which replaces the old file: at every moment
    // the name holds the whole old or the whole new file. ReplaceFileW is not that step: with a
    // backup name it moves the old file away first, and without one it may also leave the name
    // empty (ERROR_UNABLE_TO_MOVE_REPLACEMENT), which Wine's does by moving the old file away and
    // deleting it before the new one is moved in.
    if (!MoveIntoPlace()) return false;
    committed_ = true;
    savePath_.clear();
    CSaveLeftovers(DirectoryOfPath(targetPath_)).RemoveOld();
    return true;
}

bool SaveTextFileAtomically(CAtomicFileWriter& writer, bool unicode,
                            const std::function<bool(CTextStream&)>& writeLines)
{
    if (!writer.Begin()) return false;
    CWriterStream out(writer, unicode);
    if (!writeLines(out) || !out.Finish()) {
        // A write that failed has told why; writeLines may also have given up on its own.
        if (!out.HasError()) writer.Error().SetError(L"File Write Failed.", ERROR_WRITE_FAULT);
        writer.Discard();
        return false;
    }
    if (!writer.Commit()) {
        writer.Discard();
        return false;
    }
    return true;
}

bool SaveTextFileAtomically(const std::wstring& path, bool unicode,
                            const std::function<bool(CTextStream&)>& writeLines, CLastError& error)
{
    CAtomicFileWriter writer(path, error);
    return SaveTextFileAtomically(writer, unicode, writeLines);
}
