#include "textio/TextFile.h"

#include <filesystem>

#include "textio/FileUtil.h"

CTextFile::CTextFile() : streamBuffer_(new char[kStreamBufferSize]), readBuffer_(new unsigned char[kBufferSize])
{
    State().buffer = readBuffer_;
}

CTextFile::CTextFile(const std::wstring& path, uint32_t mode, bool unicode) : CTextFile()
{
    if (!path.empty()) Open(path, mode, unicode);
}

CTextFile::~CTextFile()
{
    if (file_.is_open()) {
        FlushWrites();
        file_.close();
    }
    State().buffer = nullptr;
    delete[] readBuffer_;
}

bool CTextFile::Open(const std::wstring& path, uint32_t mode, bool unicode)
{
    if (file_.is_open()) {
        FlushWrites();
        file_.close();
    }
    // Nothing meant for the old file may reach the new one.
    DiscardWrites();
    SetWriteLimit(0);
    path_.clear();
    ResetState();
    // A failure of an earlier open or close must not make this one fail.
    file_.clear();

    mode |= kOpenBinary;
    // Read wins over the others, and applies when none is given.
    std::ios_base::openmode streamMode = std::ios_base::in | std::ios_base::binary;
    uint32_t stateMode = kModeRead;
    if ((mode & kOpenRead) == 0 && (mode & kOpenReadWrite) != 0) {
        streamMode = std::ios_base::in | std::ios_base::out | std::ios_base::binary;
        stateMode = kModeRead | kModeWrite;
    } else if ((mode & (kOpenRead | kOpenReadWrite)) == 0 && (mode & kOpenWrite) != 0) {
        streamMode = std::ios_base::out | std::ios_base::trunc | std::ios_base::binary;
        stateMode = kModeWrite;
    }

    file_.rdbuf()->pubsetbuf(streamBuffer_.get(), static_cast<std::streamsize>(kStreamBufferSize));
    file_.open(std::filesystem::path(LongPathForm(path)), streamMode);
    State().mode = stateMode;
    if (!file_.is_open() || file_.fail()) {
        Error().SetErrorText(L"File Cannot Open.");
        file_.clear();
        return false;
    }
    autoFlush_ = false;
    path_ = path;
    State().unicode = unicode;
    State().lineEnd = 1;
    ChooseWriteLimit();
    return true;
}

void CTextFile::ChooseWriteLimit()
{
    // Reading and writing share one file position, so a file open for both gets every write at
    // once, as it does with auto-flush.
    const bool collect = file_.is_open() && State().mode == kModeWrite && !autoFlush_;
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
    if (file_.is_open()) {
        ok = FlushWrites();
        file_.close();
        ok = !file_.fail() && ok;
    }
    DiscardWrites();
    SetWriteLimit(0);
    file_.clear();
    path_.clear();
    autoFlush_ = false;
    return ok;
}

bool CTextFile::Flush()
{
    if (!file_.is_open()) return false;
    if (!FlushWrites()) return false;
    file_.flush();
    if (file_.fail()) {
        State().error = true;
        return false;
    }
    return !State().error;
}

bool CTextFile::FillBuffer()
{
    if (!file_.is_open()) return false;
    TextStreamState& s = State();
    file_.read(reinterpret_cast<char*>(s.buffer), kBufferSize);
    s.count = static_cast<uint32_t>(file_.gcount());
    if (file_.eof()) s.eof = true;
    if (file_.bad()) s.error = true;
    return s.count > 0;
}

bool CTextFile::WriteRaw(const void* bytes, int32_t count)
{
    if (!file_.is_open()) return false;
    file_.write(static_cast<const char*>(bytes), count);
    if (autoFlush_) file_.flush();
    if (file_.bad()) {
        State().error = true;
        return false;
    }
    return true;
}

int64_t CTextFile::GetLength()
{
    if (!file_.is_open()) return 0;
    // Lines still waiting belong to the file's length.
    FlushWrites();
    std::streampos here = file_.tellg();
    file_.seekg(0, std::ios_base::end);
    std::streampos end = file_.tellg();
    file_.seekg(here);
    return static_cast<int64_t>(end);
}

bool FileExists(const std::wstring& path)
{
    if (path.empty()) return false;
    std::ifstream probe(std::filesystem::path(LongPathForm(path)), std::ios_base::in | std::ios_base::binary);
    return probe.is_open() && !probe.fail();
}
