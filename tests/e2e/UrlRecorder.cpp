// Stands in for a web browser in the end-to-end tests: registered as the prefix's handler of
// https addresses, it appends the address it was given to a log file, one UTF-8 line each.
//
//   url_recorder LOG_FILE ADDRESS

#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) return 2;
    const std::wstring line = std::wstring(argv[2]) + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) return 1;
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &bytes[0], size,
                        nullptr, nullptr);
    HANDLE log = CreateFileW(argv[1], FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const BOOL ok = WriteFile(log, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(log);
    return ok && written == bytes.size() ? 0 : 1;
}
