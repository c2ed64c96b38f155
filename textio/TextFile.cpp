#include "textio/TextFile.h"

#include <algorithm>

#include "support/Utf8Check.h"
#include "textio/FileUtil.h"
#include "textio/HeldFile.h"

namespace {

// What a reader shares a file with: other readers, and a writer such as an editor that saves in
// place, as the C library's streams did.
const DWORD kShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;

} // namespace

CTextFile::CTextFile() : block_(new unsigned char[kBlockSize])
{
    Serve(block_.get(), 0, false);
}

CTextFile::CTextFile(const std::wstring& path, uint32_t mode, bool unicode) : CTextFile()
{
    if (!path.empty()) Open(path, mode, unicode);
}

CTextFile::~CTextFile()
{
    Close();
}

bool CTextFile::CloseFile()
{
    const bool closed = file_.Close();
    if (!closed) Error().SetErrorFromLastError();
    atEnd_ = false;
    bytesRead_ = 0;
    openedKnown_ = false;
    return closed;
}

bool CTextFile::Open(const std::wstring& path, uint32_t mode, bool unicode)
{
    // Nothing meant for the old file may reach the new one; lines it could not take are lost
    // with it, and this open fails rather than hide that.
    const bool closed = Close();
    whole_.clear();
    hadMark_ = false;
    ResetState();
    Serve(block_.get(), 0, false);
    if (!closed) return false;

    mode |= kOpenBinary;
    // Read wins over the others, and applies when none is given.
    DWORD access = GENERIC_READ;
    DWORD creation = OPEN_EXISTING;
    DWORD flags = FILE_FLAG_SEQUENTIAL_SCAN;
    uint32_t stateMode = kModeRead;
    if ((mode & kOpenRead) == 0 && (mode & kOpenReadWrite) != 0) {
        access = GENERIC_READ | GENERIC_WRITE;
        flags = FILE_ATTRIBUTE_NORMAL;
        stateMode = kModeRead | kModeWrite;
    } else if ((mode & (kOpenRead | kOpenReadWrite)) == 0 && (mode & kOpenWrite) != 0) {
        access = GENERIC_WRITE;
        creation = CREATE_ALWAYS;
        flags = FILE_ATTRIBUTE_NORMAL;
        stateMode = kModeWrite;
    }

    // Another program may hold the file for a moment.
    RetryWhileHeld(path, access, [&] {
        file_ = OpenDiskFile(path, access, kShareMode, creation, flags, Error());
        return file_.IsValid() ? DWORD(ERROR_SUCCESS) : Error().GetErrorCode();
    });
    Opened(stateMode, unicode);
    if (!IsOpen()) return false;
    CLastError unknown;
    openedKnown_ = ReadFileState(file_.Get(), opened_, unknown);
    autoFlush_ = false;
    path_ = path;
    ChooseWriteLimit();
    return true;
}

bool CTextFile::OpenText(const std::wstring& path, unsigned choices)
{
    if (!Open(path, kOpenRead, false)) return false;
    // Sized once from the file; a file that grows meanwhile is read to its end all the same.
    whole_.reserve(static_cast<size_t>(GetLength()) + kBlockSize);
    for (;;) {
        const size_t had = whole_.size();
        whole_.resize(had + kBlockSize);
        DWORD got = 0;
        if (!ReadFile(file_.Get(), &whole_[had], kBlockSize, &got, nullptr)) {
            FailFromLastError();
            Close();
            return false;
        }
        whole_.resize(had + got);
        if (got == 0) break;
    }
    bytesRead_ = whole_.size();
    if (!ReadTheWholeFile()) {
        Fail(kFileChangedMeanwhile);
        Close();
        return false;
    }
    // From here on the lines come from memory: the file has nothing more to give.
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&whole_[0]);
    Serve(bytes, static_cast<uint32_t>(whole_.size()), true);
    atEnd_ = true;
    TextEncoding encoding = TextEncoding::Ansi;
    hadMark_ = ReadByteOrderMark(encoding);
    if (hadMark_) return true;
    bool zeroSecond = false;
    for (size_t i = 1; i < whole_.size() && !zeroSecond; i += 2) zeroSecond = whole_[i] == '\0';
    CUtf8Check utf8;
    utf8.Feed(bytes, whole_.size());
    SetEncoding(DecideEncoding(choices, zeroSecond, utf8));
    return true;
}

void CTextFile::ChooseWriteLimit()
{
    // Reading and writing share one file position, so a file open for both gets every write at
    // once, as it does with auto-flush.
    const bool collect = IsOpen() && State().mode == kModeWrite && !autoFlush_;
    SetWriteLimit(collect ? kWriteLimit : 0);
}

void CTextFile::SetAutoFlush(bool autoFlush)
{
    autoFlush_ = autoFlush;
    if (autoFlush) FlushWrites();
    ChooseWriteLimit();
}

bool CTextFile::Close()
{
    bool ok = true;
    if (IsOpen()) {
        ok = FlushWrites();
        ok = CloseFile() && ok;
    }
    DiscardWrites();
    SetWriteLimit(0);
    path_.clear();
    autoFlush_ = false;
    return ok;
}

bool CTextFile::Flush()
{
    if (!IsOpen()) return false;
    return FlushWrites() && !HasError();
}

bool CTextFile::GetOpenedState(FileState& state) const
{
    if (!IsOpen() || !openedKnown_) return false;
    state = opened_;
    return true;
}

std::wstring CTextFile::FinalPath() const
{
    return IsOpen() ? FinalPathOf(file_.Get()) : std::wstring();
}

bool CTextFile::ReadTheWholeFile() const
{
    // A file this object also writes changes as it goes; one whose state is unknown cannot be told.
    if (State().mode != kModeRead || !openedKnown_) return true;
    FileState now;
    CLastError unknown;
    if (!ReadFileState(file_.Get(), now, unknown)) return true;
    return bytesRead_ == opened_.size && StillTheFileRead(opened_, now);
}

bool CTextFile::FillBuffer()
{
    if (!IsOpen()) return false;
    if (atEnd_) {
        Serve(block_.get(), 0, true);
        return false;
    }
    DWORD got = 0;
    if (!ReadFile(file_.Get(), block_.get(), kBlockSize, &got, nullptr)) return FailFromLastError();
    // Only a read that gives nothing ends the file: a local disk gives fewer bytes than asked only
    // at the end, a network file system may give fewer before it.
    if (got == 0) {
        atEnd_ = true;
        if (!ReadTheWholeFile()) return Fail(kFileChangedMeanwhile);
        Serve(block_.get(), 0, true);
        return false;
    }
    bytesRead_ += got;
    Serve(block_.get(), got, false);
    return true;
}

bool CTextFile::DropReadAhead()
{
    const uint32_t unread = ReadAhead();
    if (unread == 0) return true;
    LARGE_INTEGER back = {};
    back.QuadPart = -static_cast<int64_t>(unread);
    if (!SetFilePointerEx(file_.Get(), back, nullptr, FILE_CURRENT)) return false;
    ForgetReadAhead();
    atEnd_ = false;
    return true;
}

bool CTextFile::WriteRaw(const void* bytes, int32_t count)
{
    if (!IsOpen()) return false;
    if (count < 0) return Fail(ERROR_INVALID_PARAMETER);
    if (CanRead() && !DropReadAhead()) return FailFromLastError();
    DWORD written = 0;
    if (!WriteFile(file_.Get(), bytes, static_cast<DWORD>(count), &written, nullptr)) return FailFromLastError();
    if (written != static_cast<DWORD>(count)) return Fail(ERROR_WRITE_FAULT);
    return true;
}

int64_t CTextFile::GetLength()
{
    if (!IsOpen()) return 0;
    // Lines still waiting belong to the file's length.
    FlushWrites();
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file_.Get(), &size)) return 0;
    return size.QuadPart;
}
