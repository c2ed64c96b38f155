#include "textio/SaveJournal.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "support/Paths.h"
#include "support/TextEdit.h"
#include "textio/HeldFile.h"
#include "textio/RunLog.h"

namespace {

const char kMagic[8] = {'M', 'V', 'T', 'J', 'R', 'N', 'L', '1'};
const wchar_t kBesidePrefix[] = L"Morvanti.";
const wchar_t kExtension[] = L".journal";
// No final path is longer than the system's longest path.
const uint32_t kMostPathUnits = 32767;

// The journal's first bytes; the target's final path (pathUnits UTF-16 units) and the old bytes
// follow. Written last, so that a journal cut short has no magic.
struct Header {
    char magic[8];
    uint64_t index;
    uint64_t size;
    uint64_t checksum;
    uint32_t pathUnits;
    uint32_t reserved;
};

// A checksum of a run of bytes, whatever pieces they come in: eight bytes at a time, each mixed
// in by a multiplication, so that a journal of many megabytes costs a few milliseconds. It tells
// a journal that a crash or a power cut left half written (zeros, or old blocks) from a whole one.
class CChecksum {
public:
    void Add(const void* bytes, size_t count)
    {
        const unsigned char* next = static_cast<const unsigned char*>(bytes);
        length_ += count;
        while (count > 0 && pendingCount_ > 0) {
            Take(*next++);
            --count;
        }
        for (; count >= sizeof(uint64_t); count -= sizeof(uint64_t), next += sizeof(uint64_t)) {
            uint64_t word = 0;
            std::memcpy(&word, next, sizeof word);
            Mix(word);
        }
        while (count-- > 0) Take(*next++);
    }
    uint64_t Value() const
    {
        uint64_t sum = sum_;
        uint64_t last = pending_ ^ length_;
        sum = (sum ^ last) * kPrime;
        return sum ^ (sum >> 29);
    }

private:
    static constexpr uint64_t kPrime = 0x100000001B3ULL;
    void Mix(uint64_t word)
    {
        sum_ = (sum_ ^ word) * kPrime;
        sum_ ^= sum_ >> 31;
    }
    void Take(unsigned char byte)
    {
        pending_ |= static_cast<uint64_t>(byte) << (8 * pendingCount_);
        if (++pendingCount_ == sizeof(uint64_t)) {
            Mix(pending_);
            pending_ = 0;
            pendingCount_ = 0;
        }
    }

    uint64_t sum_ = 0xCBF29CE484222325ULL;
    uint64_t pending_ = 0;
    unsigned pendingCount_ = 0;
    uint64_t length_ = 0;
};

std::wstring Hex16(uint64_t value)
{
    const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text(16, L'0');
    for (int i = 15; i >= 0; --i, value >>= 4) text[static_cast<size_t>(i)] = digits[value & 0xF];
    return text;
}

// The user's own folder for journals, "%LOCALAPPDATA%\Morvanti\" (not the roaming application
// data: a journal belongs to this PC's copy of the file); empty when the shell cannot name it.
const std::wstring& LocalJournalFolder()
{
    static const std::wstring folder = [] {
        wchar_t path[MAX_PATH + 1] = {};
        if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) {
            return std::wstring();
        }
        return WithTrailingBackslash(path) + L"Morvanti\\";
    }();
    return folder;
}

std::wstring BesideJournalPath(const std::wstring& finalPath, uint64_t index)
{
    return DirectoryOfPath(finalPath) + kBesidePrefix + Hex16(index) + kExtension;
}

std::wstring LocalJournalPath(uint64_t index)
{
    const std::wstring& folder = LocalJournalFolder();
    return folder.empty() ? std::wstring() : folder + Hex16(index) + kExtension;
}

bool InLocalFolder(const std::wstring& journal)
{
    const std::wstring& folder = LocalJournalFolder();
    return !folder.empty() && CompareNoCase(DirectoryOfPath(journal), folder) == 0;
}

bool SetPosition(HANDLE file, uint64_t position)
{
    LARGE_INTEGER to = {};
    to.QuadPart = static_cast<LONGLONG>(position);
    return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != FALSE;
}

// Reads exactly count bytes; false when the file ends first or a read fails.
bool ReadAll(HANDLE file, void* bytes, size_t count)
{
    char* next = static_cast<char*>(bytes);
    while (count > 0) {
        DWORD got = 0;
        const DWORD part = static_cast<DWORD>(std::min(count, kMostBytesPerCall));
        if (!ReadFile(file, next, part, &got, nullptr)) return false;
        if (got == 0) {
            SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        next += got;
        count -= got;
    }
    return true;
}

} // namespace

bool CSaveJournal::CreateAt(const std::wstring& path, DWORD attributes)
{
    if (path.empty()) return false;
    // Nobody writes it meanwhile; a recovery reads it only under the file's turn. Never deleted on
    // close: a save that is killed must leave it.
    file_.Reset(CreateFileW(LongPathForm(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, attributes, nullptr));
    if (!file_.IsValid()) {
        error_.SetErrorFromLastError();
        return false;
    }
    path_ = path;
    return true;
}

bool CSaveJournal::Write(HANDLE target, const std::wstring& finalPath, const FileState& state)
{
    error_.ClearError();
    complete_ = false;
    // An encrypted file's old bytes stay encrypted.
    const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | (state.attributes & FILE_ATTRIBUTE_ENCRYPTED);
    if (!CreateAt(BesideJournalPath(finalPath, state.index), attributes)) {
        const std::wstring local = LocalJournalPath(state.index);
        if (!local.empty()) CreateDirectoryW(LongPathForm(LocalJournalFolder()).c_str(), nullptr);
        if (!CreateAt(local, attributes)) return false;
    }
    error_.ClearError();
    finalPath_ = finalPath;
    index_ = state.index;
    Header header = {};
    header.index = state.index;
    header.pathUnits = static_cast<uint32_t>(std::min<size_t>(finalPath.size(), kMostPathUnits));
    CChecksum sum;
    sum.Add(&header.index, sizeof header.index);
    sum.Add(finalPath.data(), header.pathUnits * sizeof(wchar_t));
    bool ok = WriteAll(file_.Get(), &header, sizeof header) &&
              WriteAll(file_.Get(), finalPath.data(), header.pathUnits * sizeof(wchar_t)) && SetPosition(target, 0);
    std::vector<char> piece(static_cast<size_t>(std::min<uint64_t>(state.size + 1, kMostBytesPerCall)));
    uint64_t copied = 0;
    while (ok) {
        DWORD got = 0;
        ok = ReadFile(target, piece.data(), static_cast<DWORD>(piece.size()), &got, nullptr) != FALSE;
        if (!ok || got == 0) break;
        sum.Add(piece.data(), got);
        copied += got;
        ok = WriteAll(file_.Get(), piece.data(), got);
    }
    if (!ok) {
        error_.SetErrorFromLastError();
    } else if (copied != state.size) {
        // The file changed since its state was taken; its journal would not be its content.
        error_.SetErrorFromCode(kFileChangedMeanwhile);
        ok = false;
    }
    if (ok) {
        header.size = copied;
        sum.Add(&header.size, sizeof header.size);
        header.checksum = sum.Value();
        std::memcpy(header.magic, kMagic, sizeof kMagic);
        ok = SetPosition(file_.Get(), 0) && WriteAll(file_.Get(), &header, sizeof header) &&
             FlushFileBuffers(file_.Get());
        if (!ok) error_.SetErrorFromLastError();
    }
    if (!ok) {
        // Never complete, so never restored; removed here if it can be.
        const CLastError reason = error_;
        Remove();
        error_ = reason;
        return false;
    }
    size_ = copied;
    dataStart_ = sizeof header + header.pathUnits * sizeof(wchar_t);
    complete_ = true;
    return true;
}

template <typename Use>
bool CSaveJournal::ForEachPiece(Use use)
{
    if (!SetPosition(file_.Get(), dataStart_)) return false;
    std::vector<char> piece(static_cast<size_t>(std::min<uint64_t>(std::max<uint64_t>(size_, 1), kMostBytesPerCall)));
    for (uint64_t left = size_; left > 0;) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(left, piece.size()));
        if (!ReadAll(file_.Get(), piece.data(), count) || !use(piece.data(), count)) return false;
        left -= count;
    }
    return true;
}

bool CSaveJournal::Open(const std::wstring& path)
{
    error_.ClearError();
    complete_ = false;
    path_ = path;
    const DWORD code = RetryWhileHeld(path, GENERIC_READ, [&] {
        file_.Reset(CreateFileW(LongPathForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        return file_.IsValid() ? DWORD(ERROR_SUCCESS) : GetLastError();
    });
    if (code != ERROR_SUCCESS) {
        error_.SetErrorFromCode(code);
        return false;
    }
    LARGE_INTEGER length = {};
    Header header = {};
    if (!GetFileSizeEx(file_.Get(), &length)) {
        error_.SetErrorFromLastError();
        return false;
    }
    // A journal cut short before its header was written has no magic: it was never complete.
    if (static_cast<uint64_t>(length.QuadPart) < sizeof header || !ReadAll(file_.Get(), &header, sizeof header) ||
        std::memcmp(header.magic, kMagic, sizeof kMagic) != 0 || header.pathUnits > kMostPathUnits) {
        return true;
    }
    finalPath_.assign(header.pathUnits, L'\0');
    if (header.pathUnits > 0 && !ReadAll(file_.Get(), &finalPath_[0], header.pathUnits * sizeof(wchar_t))) return true;
    index_ = header.index;
    size_ = header.size;
    dataStart_ = sizeof header + header.pathUnits * sizeof(wchar_t);
    if (static_cast<uint64_t>(length.QuadPart) != dataStart_ + size_) return true;
    CChecksum sum;
    sum.Add(&header.index, sizeof header.index);
    sum.Add(finalPath_.data(), finalPath_.size() * sizeof(wchar_t));
    if (!ForEachPiece([&](const char* bytes, size_t count) {
            sum.Add(bytes, count);
            return true;
        })) {
        error_.SetErrorFromLastError();
        return false;
    }
    sum.Add(&header.size, sizeof header.size);
    complete_ = sum.Value() == header.checksum;
    return true;
}

bool CSaveJournal::BelongsTo(HANDLE target) const
{
    FileState state;
    CLastError unknown;
    if (!ReadFileState(target, state, unknown) || state.index != index_) return false;
    // Beside the file the index is enough, and other PCs spell its path in other ways; the user's
    // folder holds journals of every volume.
    return !InLocalFolder(path_) || CompareNoCase(FinalPathOf(target), finalPath_) == 0;
}

bool CSaveJournal::RestoreInto(HANDLE target)
{
    const bool ok = SetPosition(target, 0) &&
                    ForEachPiece([&](const char* bytes, size_t count) { return WriteAll(target, bytes, count); }) &&
                    SetPosition(target, size_) && SetEndOfFile(target) && FlushFileBuffers(target);
    if (!ok) error_.SetErrorFromLastError();
    return ok;
}

bool CSaveJournal::Remove()
{
    file_.Close();
    complete_ = false;
    if (path_.empty()) return true;
    const DWORD code = RetryWhileHeld(path_, DELETE, [&] {
        const bool gone = DeleteFileW(LongPathForm(path_).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
        return gone ? DWORD(ERROR_SUCCESS) : GetLastError();
    });
    if (code != ERROR_SUCCESS) {
        error_.SetErrorFromCode(code);
        return false;
    }
    path_.clear();
    return true;
}

std::wstring FindSaveJournal(const std::wstring& finalPath, const FileState& state)
{
    for (const std::wstring& journal : {BesideJournalPath(finalPath, state.index), LocalJournalPath(state.index)}) {
        const DWORD attributes = journal.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(LongPathForm(journal).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return journal;
    }
    return std::wstring();
}

bool RecoverInterruptedSave(const std::wstring& path, const std::wstring& journal, CLastError& error)
{
    CSaveJournal rollback;
    if (!rollback.Open(journal)) {
        // The save that wrote it ended meanwhile and removed it.
        if (rollback.Error().GetErrorCode() == ERROR_FILE_NOT_FOUND) return true;
        error = rollback.Error();
        return false;
    }
    if (!rollback.IsComplete()) {
        // Cut short before the file was touched: the file is as it was.
        g_runLog.WriteFormat(L"incomplete save journal removed[%s]", journal);
    } else {
        CFileHandle target;
        const DWORD access = GENERIC_READ | GENERIC_WRITE;
        const DWORD code = RetryWhileHeld(path, access, [&] {
            target = OpenDiskFile(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, error);
            return target.IsValid() ? DWORD(ERROR_SUCCESS) : error.GetErrorCode();
        });
        if (code != ERROR_SUCCESS) return false;
        if (!rollback.BelongsTo(target.Get())) {
            // Another program put another file under the name since: its content is newer than
            // the journal's.
            g_runLog.WriteFormat(L"save journal of another file removed[%s]", journal);
        } else if (!rollback.RestoreInto(target.Get())) {
            error = rollback.Error();
            return false;
        } else {
            g_runLog.WriteFormat(L"interrupted save rolled back[%s]", path);
        }
    }
    if (!rollback.Remove()) {
        error = rollback.Error();
        return false;
    }
    return true;
}
