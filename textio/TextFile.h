#pragma once
// A text file read and written line by line, in the system ANSI code page or in UTF-16 LE,
// as the caller chooses when opening it. No byte-order mark is read or written on its own.

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "textio/TextStream.h"

enum OpenMode : uint32_t {
    kOpenRead = 1,       // reading; the file must exist
    kOpenReadWrite = 2,  // reading and writing; the file must exist, its content stays
    kOpenWrite = 4,      // writing; the file is created, or emptied if it exists
    kOpenBinary = 8,     // always added: no line-end translation by the C++ library
};

class CTextFile : public CTextStream {
public:
    CTextFile();
    CTextFile(const std::wstring& path, uint32_t mode, bool unicode);
    ~CTextFile() override;

    bool FillBuffer() override;
    bool WriteRaw(const void* bytes, int32_t count) override;

    // Opens the file under its wide-character name. A file already open is closed first,
    // and a successful open always leaves the object ready to read or write.
    bool Open(const std::wstring& path, uint32_t mode, bool unicode);
    // Closes the file; false when pending data could not be written out.
    bool Close();
    // Pushes buffered data to the operating system; false (and the sticky error) when that fails.
    bool Flush();
    bool IsOpen() const { return file_.is_open(); }
    std::wstring GetPath() const { return path_; }
    // With auto-flush every write reaches the file at once; without it lines written to a file
    // opened for writing only collect in memory and go out together.
    void SetAutoFlush(bool autoFlush);
    int64_t GetLength();

private:
    // The file stream's own buffer: large, so that a script of many megabytes costs few system calls.
    static const size_t kStreamBufferSize = 64 * 1024;
    // How many written bytes collect before they go to the file stream together.
    static constexpr size_t kWriteLimit = 64 * 1024;

    // Lets written lines collect when nothing else reads the file or needs each write at once.
    void ChooseWriteLimit();
    std::unique_ptr<char[]> streamBuffer_;
    std::fstream file_;
    std::wstring path_;
    bool autoFlush_ = false;
    unsigned char* readBuffer_;
};

// True when the file exists and can be opened for reading (a directory does not count).
bool FileExists(const std::wstring& path);
