#include "textio/AtomicFileWriter.h"

#include <aclapi.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "support/Paths.h"
#include "support/TextEdit.h"
#include "textio/DeviceName.h"
#include "textio/FileUtil.h"
#include "textio/HeldFile.h"
#include "textio/RunLog.h"
#include "textio/SaveLeftovers.h"
#include "textio/TextStream.h"

namespace {

// How many numbers CreateSaveFile tries before it gives up on a folder full of taken names.
const unsigned kSaveFileNames = 32;

// How many written bytes collect before they go to the new file together.
const size_t kWriteBlock = 64 * 1024;
// In place the new content collects in memory; storage for about the old size is set aside, up to
// this much at once (a huge script then grows as it is written).
const uint64_t kMostReservedContent = uint64_t(1) << 28;

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

// The same access list entries, in the same order (their own sizes compared, not the lists').
bool SameEntries(const ACL* a, const ACL* b)
{
    if (a == nullptr || b == nullptr) return a == b;
    if (a->AceCount != b->AceCount) return false;
    for (DWORD i = 0; i < a->AceCount; ++i) {
        void* first = nullptr;
        void* second = nullptr;
        if (!GetAce(const_cast<ACL*>(a), i, &first) || !GetAce(const_cast<ACL*>(b), i, &second)) return false;
        const WORD size = static_cast<const ACE_HEADER*>(first)->AceSize;
        if (size != static_cast<const ACE_HEADER*>(second)->AceSize || std::memcmp(first, second, size) != 0) {
            return false;
        }
    }
    return true;
}

// Whether a rename of newFile over target would keep target's owner and access list: whether the
// new file, which has what every new file in that folder gets (the token's default owner, the
// folder's inherited entries), has the same. Under Wine both are what Wine makes of the host's
// owner and permission bits. A file system that keeps no security (FAT) keeps nothing to lose.
bool RenameKeepsOwnerAndAccessList(HANDLE newFile, HANDLE target)
{
    struct Security {
        PSID owner = nullptr;
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ~Security() { LocalFree(descriptor); }
        bool Read(HANDLE file)
        {
            return GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                   &owner, nullptr, &dacl, nullptr, &descriptor) == ERROR_SUCCESS;
        }
        bool Protected() const
        {
            SECURITY_DESCRIPTOR_CONTROL control = 0;
            DWORD revision = 0;
            return GetSecurityDescriptorControl(descriptor, &control, &revision) &&
                   (control & SE_DACL_PROTECTED) != 0;
        }
    };
    Security fresh;
    Security old;
    if (!fresh.Read(newFile) || !old.Read(target)) return true;
    if ((fresh.owner == nullptr) != (old.owner == nullptr)) return false;
    if (fresh.owner != nullptr && !EqualSid(fresh.owner, old.owner)) return false;
    return fresh.Protected() == old.Protected() && SameEntries(fresh.dacl, old.dacl);
}

// Whether path (full) reaches the file whose final path is finalPath through a link in its last
// part: a symbolic link (or, under Wine, a host's one) names another file, which a rename of the
// path would not change. A short 8.3 name, other letter case, and folders reached through links or
// a mapped drive are no link of the file's own: the path's folder, as the system resolves it, with
// the path's name, is then the final path.
bool ReachedThroughLink(const std::wstring& path, const std::wstring& finalPath)
{
    const std::wstring plain = PlainPathForm(path);
    if (finalPath.empty() || CompareNoCase(plain, finalPath) == 0) return false;
    std::wstring longPath = plain;
    const DWORD needed = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed > 0) {
        std::wstring expanded(needed, L'\0');
        const DWORD length = GetLongPathNameW(path.c_str(), &expanded[0], needed);
        if (length > 0 && length < needed) longPath = PlainPathForm(expanded.substr(0, length));
    }
    if (CompareNoCase(longPath, finalPath) == 0) return false;
    const std::wstring folder = DirectoryOfPath(longPath);
    const CFileHandle opened(CreateFileW(LongPathForm(folder).c_str(), FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const std::wstring folderFinal = opened.IsValid() ? FinalPathOf(opened.Get()) : std::wstring();
    if (folderFinal.empty()) return false;
    return CompareNoCase(WithTrailingBackslash(folderFinal) + longPath.substr(folder.size()), finalPath) != 0;
}

// A failure to make a file that says the user may not, in that folder.
bool IsRefusal(DWORD code)
{
    return code == ERROR_ACCESS_DENIED || code == ERROR_NETWORK_ACCESS_DENIED;
}

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
        // "exists" or "access denied"; a folder that refuses new files denies a name that nothing
        // takes. The last name's reason stays in error.
        const DWORD code = error.GetErrorCode();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS && code != ERROR_ACCESS_DENIED) return false;
        if (code == ERROR_ACCESS_DENIED && GetFileAttributesW(candidate.c_str()) == INVALID_FILE_ATTRIBUTES &&
            GetLastError() == ERROR_FILE_NOT_FOUND) {
            return false;
        }
    }
    return false;
}

CAtomicFileWriter::CAtomicFileWriter(const std::wstring& targetPath, const SaveOptions& options)
    : CAtomicFileWriter(targetPath, ownError_, options)
{
}

CAtomicFileWriter::CAtomicFileWriter(const std::wstring& targetPath, CLastError& record, const SaveOptions& options)
    : targetPath_(LongPathForm(GetFullPath(targetPath))), options_(options), error_(record)
{
}

CAtomicFileWriter::~CAtomicFileWriter()
{
    if (!committed_) Discard();
}

bool CAtomicFileWriter::ChooseWay()
{
    targetExists_ = false;
    look_ = INVALID_HANDLE_VALUE;
    if (options_.held != nullptr && options_.held->IsValid()) {
        look_ = options_.held->Get();
    } else {
        CLastError missing;
        ownLook_ = OpenDiskFile(targetPath_, FILE_READ_ATTRIBUTES | READ_CONTROL,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, missing);
        // No file yet (it is made), or one that cannot even be looked at, which the replace
        // answers for as it always did.
        if (!ownLook_.IsValid()) return true;
        look_ = ownLook_.Get();
    }
    CLastError unknown;
    if (!ReadFileState(look_, targetState_, unknown)) return true;
    targetExists_ = true;
    if (options_.expected != nullptr && !StillTheFileRead(*options_.expected, targetState_)) {
        error_.SetErrorFromCode(kFileChangedMeanwhile);
        return false;
    }
    finalPath_ = FinalPathOf(look_);
    if (finalPath_.empty()) finalPath_ = PlainPathForm(targetPath_);
    // Which platform shows what each check looks for: hard links and links, Windows and Wine (the
    // host's link counts, and its symbolic links in the final path); encryption, Windows alone
    // (EFS). In Begin: a folder that refuses new files, both (under Wine a host user without write
    // permission on the folder); an owner or access list that a new file would not get, Windows,
    // and Wine as far as it makes them of the host's owner and permission bits. A refused rename,
    // Windows alone ("Write" without "Delete"): under Wine a folder that takes new files takes
    // the rename too, and a file of another owner goes in place before any rename is tried.
    if (forceInPlace_) return BeginInPlace(L"the rename is refused");
    if (targetState_.links > 1) return BeginInPlace(L"the file has more than one name");
    if (ReachedThroughLink(targetPath_, finalPath_)) return BeginInPlace(L"the path is a link");
    if ((targetState_.attributes & FILE_ATTRIBUTE_ENCRYPTED) != 0) return BeginInPlace(L"the file is encrypted");
    return true;
}

bool CAtomicFileWriter::BeginInPlace(const wchar_t* why)
{
    way_ = Way::InPlace;
    ownLook_.Close();
    look_ = INVALID_HANDLE_VALUE;
    g_runLog.WriteFormat(L"save goes in place[%s][%s]", finalPath_, std::wstring(why));
    // Windows writes no read-only file (Wine, as root, would).
    if ((targetState_.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        error_.SetErrorFromCode(ERROR_ACCESS_DENIED);
        return false;
    }
    content_.clear();
    try {
        content_.reserve(static_cast<size_t>(std::min(targetState_.size + kWriteBlock, kMostReservedContent)));
    } catch (const std::bad_alloc&) {
        // it grows as it is written
    }
    return true;
}

bool CAtomicFileWriter::Begin()
{
    replaceRefused_ = false;
    way_ = Way::Replace;
    // A device or a pipe is never written to, nor a file made beside it.
    if (NamesDevice(targetPath_)) {
        error_.SetErrorFromCode(ERROR_BAD_FILE_TYPE);
        return false;
    }
    const bool mayChoose = options_.mayWriteInPlace;
    if (mayChoose && !ChooseWay()) return false;
    if (way_ == Way::InPlace) return true;
    if (!CreateSaveFile(DirectoryOfPath(targetPath_), SaveFileTimeNow(), savePath_, file_, error_)) {
        savePath_.clear();
        // A folder that refuses new files may still let the file itself be written.
        if (mayChoose && targetExists_ && IsRefusal(error_.GetErrorCode())) {
            return BeginInPlace(L"the folder refuses new files");
        }
        return false;
    }
    const bool keeps = !mayChoose || !targetExists_ || RenameKeepsOwnerAndAccessList(file_.Get(), look_);
    // No file is renamed over while it is open: the writer's own look at it ends here.
    ownLook_.Close();
    look_ = INVALID_HANDLE_VALUE;
    if (!keeps) {
        Discard();
        return BeginInPlace(L"a new file would not have its owner or access list");
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

bool CAtomicFileWriter::WriteAllTo(HANDLE file, const void* bytes, size_t count)
{
    const auto write = [this](HANDLE to, const void* piece, DWORD size, DWORD& written) {
        return WriteToFile(to, piece, size, written);
    };
    if (WriteInPieces(file, bytes, count, write)) return true;
    error_.SetErrorFromLastError();
    return false;
}

bool CAtomicFileWriter::Write(const void* bytes, size_t count)
{
    if (way_ == Way::InPlace) {
        try {
            content_.append(static_cast<const char*>(bytes), count);
        } catch (const std::bad_alloc&) {
            error_.SetErrorFromCode(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        return true;
    }
    if (!file_.IsValid()) {
        error_.SetErrorFromCode(ERROR_INVALID_HANDLE);
        return false;
    }
    return WriteAllTo(file_.Get(), bytes, count);
}

void CAtomicFileWriter::Discard()
{
    file_.Close();
    if (!savePath_.empty()) DeleteFileW(savePath_.c_str());
    savePath_.clear();
    // An in-place write that did not end: the old bytes go back. Where even that fails, the journal
    // stays, and the next read of the file puts them back.
    if (journal_.IsOpen() && target_ != INVALID_HANDLE_VALUE && journal_.RestoreInto(target_)) journal_.Remove();
    ownTarget_.Close();
    target_ = INVALID_HANDLE_VALUE;
    std::string().swap(content_);
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

bool CAtomicFileWriter::TargetStillAsRead()
{
    CLastError unknown;
    const CFileHandle now = OpenDiskFile(targetPath_, FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, unknown);
    FileState state;
    return now.IsValid() && ReadFileState(now.Get(), state, unknown) && StillTheFileRead(*options_.expected, state);
}

bool CAtomicFileWriter::MoveIntoPlace()
{
    // The file under the name is checked right before each attempt: another program may write it
    // while the new file is written, or while its hold is waited out. Through the caller's handle
    // before the first, which is let go of just before it: no file is renamed over while open.
    bool checked = false;
    if (options_.expected != nullptr && options_.held != nullptr && options_.held->IsValid()) {
        FileState now;
        CLastError unknown;
        if (ReadFileState(options_.held->Get(), now, unknown) && !StillTheFileRead(*options_.expected, now)) {
            error_.SetErrorFromCode(kFileChangedMeanwhile);
            return false;
        }
        checked = true;
    }
    if (options_.held != nullptr) options_.held->Close();
    const DWORD code = RetryWhileHeld(targetPath_, DELETE, [&] {
        const bool check = options_.expected != nullptr && !checked;
        checked = false;
        if (check && !TargetStillAsRead()) return kFileChangedMeanwhile;
        const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
        return MoveFileExW(savePath_.c_str(), targetPath_.c_str(), flags) ? DWORD(ERROR_SUCCESS) : GetLastError();
    });
    if (code == ERROR_SUCCESS) return true;
    // Not a hold that outlasted the wait, but a refusal: the user may change the file but not
    // replace it.
    replaceRefused_ = options_.mayWriteInPlace && targetExists_ && IsRefusal(code) &&
                      !HeldByAnotherProgram(targetPath_, code, DELETE);
    forceInPlace_ = replaceRefused_;
    error_.SetErrorFromCode(code);
    return false;
}

bool CAtomicFileWriter::CommitReplace()
{
    if (!file_.IsValid()) {
        error_.SetErrorFromCode(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!CarryAttributesOver()) return false;
    CLastError unknown;
    if (!FlushFile(file_.Get()) || !ReadFileState(file_.Get(), written_, unknown) || !file_.Close()) {
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

bool CAtomicFileWriter::CommitInPlace()
{
    if (options_.held != nullptr && options_.held->IsValid() && options_.heldWritable) {
        target_ = options_.held->Get();
    } else {
        const DWORD access = GENERIC_READ | GENERIC_WRITE;
        const DWORD code = RetryWhileHeld(targetPath_, access, [&] {
            ownTarget_ = OpenDiskFile(targetPath_, access, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, error_);
            return ownTarget_.IsValid() ? DWORD(ERROR_SUCCESS) : error_.GetErrorCode();
        });
        if (code != ERROR_SUCCESS) return false;
        target_ = ownTarget_.Get();
    }
    FileState now;
    if (!ReadFileState(target_, now, error_)) return false;
    if (options_.expected != nullptr && !StillTheFileRead(*options_.expected, now)) {
        error_.SetErrorFromCode(kFileChangedMeanwhile);
        return false;
    }
    if ((now.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        error_.SetErrorFromCode(ERROR_ACCESS_DENIED);
        return false;
    }
    // Nothing of the file changes before its old bytes are whole on the disk.
    if (!journal_.Write(target_, finalPath_, now)) {
        error_ = journal_.Error();
        return false;
    }
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(target_, start, nullptr, FILE_BEGIN) || !WriteAllTo(target_, content_.data(), content_.size())) {
        if (error_.GetErrorCode() == 0) error_.SetErrorFromLastError();
        return false;
    }
    CLastError unknown;
    if (!SetEndOfFile(target_) || !FlushFile(target_) || !ReadFileState(target_, written_, unknown)) {
        error_.SetErrorFromLastError();
        return false;
    }
    // Only once the journal is gone does the new content count as saved.
    if (!journal_.Remove()) {
        error_ = journal_.Error();
        return false;
    }
    committed_ = true;
    ownTarget_.Close();
    target_ = INVALID_HANDLE_VALUE;
    std::string().swap(content_);
    return true;
}

bool CAtomicFileWriter::Commit()
{
    if (way_ == Way::InPlace) return CommitInPlace();
    return CommitReplace();
}

bool SaveTextFileAtomically(CAtomicFileWriter& writer, bool unicode,
                            const std::function<bool(CTextStream&)>& writeLines)
{
    for (;;) {
        if (!writer.Begin()) return false;
        CWriterStream out(writer, unicode);
        if (!writeLines(out) || !out.Finish()) {
            // A write that failed has told why; writeLines may also have given up on its own.
            if (!out.HasError()) writer.Error().SetError(L"File Write Failed.", ERROR_WRITE_FAULT);
            writer.Discard();
            return false;
        }
        if (writer.Commit()) return true;
        writer.Discard();
        if (!writer.ReplaceRefused()) return false;
    }
}

bool SaveTextFileAtomically(const std::wstring& path, bool unicode,
                            const std::function<bool(CTextStream&)>& writeLines, CLastError& error,
                            const SaveOptions& options)
{
    CAtomicFileWriter writer(path, error, options);
    return SaveTextFileAtomically(writer, unicode, writeLines);
}
