#include "textio/FileUtil.h"

#include <windows.h>
#include <winternl.h>

#include <vector>

#include "support/Paths.h"
#include "textio/DeviceName.h"

namespace {

// FileInternalInformation of NtQueryInformationFile: the file's index on its volume, as
// GetFileInformationByHandle gives it. Declared here: the SDK's winternl.h names neither.
const int kFileInternalInformation = 6;
struct FileIndex {
    LARGE_INTEGER indexNumber;
};

// NtQueryInformationFile, taken from ntdll.dll, which every process has loaded, at run time: the
// program imports only DLLs that the system never looks for beside it.
using QueryInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
QueryInformationFileFn QueryInformationFile()
{
    static const QueryInformationFileFn query = [] {
        const FARPROC proc = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile");
        // Through void(*)(): the generic type GetProcAddress hands back, cast to the real signature.
        return proc == nullptr ? nullptr
                               : reinterpret_cast<QueryInformationFileFn>(reinterpret_cast<void (*)()>(proc));
    }();
    return query;
}

} // namespace

bool ReadFileState(HANDLE file, FileState& state, CLastError& error)
{
    FILE_STANDARD_INFO standard = {};
    FILE_BASIC_INFO basic = {};
    if (!GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
        !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
        error.SetErrorFromLastError();
        return false;
    }
    IO_STATUS_BLOCK status = {};
    FileIndex internal = {};
    const QueryInformationFileFn query = QueryInformationFile();
    const NTSTATUS result = query == nullptr ? -1
                                             : query(file, &status, &internal, sizeof internal,
                                                     static_cast<FILE_INFORMATION_CLASS>(kFileInternalInformation));
    // A file system that gives no index gives 0: then size and time alone tell the states apart.
    state.index = result >= 0 ? static_cast<uint64_t>(internal.indexNumber.QuadPart) : 0;
    state.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
    state.lastWrite = basic.LastWriteTime.QuadPart;
    state.created = basic.CreationTime.QuadPart;
    state.links = standard.NumberOfLinks;
    state.attributes = basic.FileAttributes;
    return true;
}

bool StillTheFileRead(const FileState& read, const FileState& now)
{
    return read.index == now.index && read.size == now.size && read.lastWrite == now.lastWrite;
}

bool WriteAll(HANDLE file, const void* bytes, size_t count)
{
    return WriteInPieces(file, bytes, count, [](HANDLE to, const void* piece, DWORD size, DWORD& written) {
        return WriteFile(to, piece, size, &written, nullptr) != FALSE;
    });
}

std::wstring FinalPathOf(HANDLE file)
{
    std::vector<wchar_t> buffer(MAX_PATH + 1, L'\0');
    DWORD length = GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (length >= buffer.size()) {
        buffer.assign(length + 1, L'\0');
        length = GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    }
    if (length == 0 || length >= buffer.size()) return std::wstring();
    return PlainPathForm(std::wstring(buffer.data(), length));
}

CFileHandle OpenDiskFile(const std::wstring& path, DWORD access, DWORD share, DWORD creation, DWORD flags,
                         CLastError& error)
{
    if (NamesDevice(path)) {
        error.SetErrorFromCode(ERROR_BAD_FILE_TYPE);
        return CFileHandle();
    }
    CFileHandle file(CreateFileW(LongPathForm(path).c_str(), access, share, nullptr, creation, flags, nullptr));
    if (!file.IsValid()) {
        error.SetErrorFromLastError();
        return file;
    }
    // What no name shows: a device or pipe under a file's name (under Wine, Z:\dev\zero or a
    // FIFO), or a folder. (The basic information only: GetFileInformationByHandle also asks for
    // the volume, which under Wine costs more than the open itself.)
    FILE_BASIC_INFO info = {};
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        error.SetErrorFromCode(ERROR_BAD_FILE_TYPE);
    } else if (!GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &info, sizeof info)) {
        error.SetErrorFromLastError();
    } else if ((info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error.SetErrorFromCode(ERROR_ACCESS_DENIED);
    } else {
        return file;
    }
    return CFileHandle();
}

bool FileExists(const std::wstring& path)
{
    CLastError ignored;
    return !path.empty() && OpenDiskFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, ignored)
                                .IsValid();
}

bool RemoveFile(const std::wstring& path, CLastError& error)
{
    error.ClearError();
    if (DeleteFileW(LongPathForm(path).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    error.SetErrorFromLastError();
    return false;
}

bool CopyFileContents(const std::wstring& source, const std::wstring& destination, bool overwrite,
                      CLastError& error)
{
    if (!overwrite && FileExists(destination)) return true;
    CFileHandle in = OpenDiskFile(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, error);
    if (!in.IsValid()) return false;
    CFileHandle out = OpenDiskFile(destination, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, error);
    if (!out.IsValid()) return false;
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        DWORD got = 0;
        DWORD written = 0;
        if (!ReadFile(in.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) break;
        if (got == 0) {
            if (out.Close()) return true;
            break;
        }
        if (!WriteFile(out.Get(), chunk.data(), got, &written, nullptr)) break;
        if (written != got) {
            SetLastError(ERROR_WRITE_FAULT);
            break;
        }
    }
    error.SetErrorFromLastError();
    return false;
}

