// The fuzz build's stand-in for the system calls of the readers and writers (see FuzzLayer.h).
#include "tests/fuzz/layer/FuzzLayer.h"

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>

#include "tests/fuzz/layer/MsvcrtFunctions.h"

static_assert(sizeof(wchar_t) == 2, "the fuzz build has UTF-16 text, as Windows");

namespace fuzz_layer {

const wchar_t kFolder[] = L"C:\\fuzz\\";

namespace {

[[noreturn]] void Gap(const char* what)
{
    std::fprintf(stderr, "fuzz layer: %s is not modelled\n", what);
    std::abort();
}

// --- Code pages, as Wine's tables (share/wine/nls/c_NNN.nls) have them.

struct CodePage {
    std::vector<uint16_t> words;  // the whole table file
    unsigned number = 0;
    uint16_t defaultChar = 0;     // what a character the page lacks becomes (a byte, or a lead and a trail)
    const uint16_t* toUnicode = nullptr;     // 256 entries
    const uint16_t* dbcsOffsets = nullptr;   // null for a single-byte page
    const void* fromUnicode = nullptr;       // 65536 bytes, or 65536 words for a double-byte page
};

CodePage LoadCodePage(unsigned number)
{
    const std::string path = "/usr/share/wine/nls/c_" + std::to_string(number) + ".nls";
    std::ifstream file(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 600) {
        std::fprintf(stderr, "fuzz layer: cannot read %s (Wine's code page tables, package libwine)\n", path.c_str());
        std::abort();
    }
    CodePage page;
    page.words.resize(bytes.size() / 2);
    std::memcpy(page.words.data(), bytes.data(), page.words.size() * 2);
    const uint16_t* p = page.words.data();
    page.number = p[1];
    page.defaultChar = p[3];
    p += p[0];  // the header
    page.fromUnicode = p + p[0] + 1;
    page.toUnicode = ++p;
    p += 256;
    if (*p++ != 0) p += 256;  // glyphs
    if (*p != 0) page.dbcsOffsets = p + 1;
    return page;
}

const CodePage& Page(unsigned number)
{
    static const CodePage cp1252 = LoadCodePage(1252);
    static const CodePage cp936 = LoadCodePage(936);
    if (number == 1252) return cp1252;
    if (number == 936) return cp936;
    Gap("a code page other than 1252, 936 and UTF-8");
}

unsigned g_acp = 1252;

uint16_t FromUnicode(const CodePage& page, wchar_t unit)
{
    if (page.dbcsOffsets == nullptr) return static_cast<const uint8_t*>(page.fromUnicode)[unit];
    return static_cast<const uint16_t*>(page.fromUnicode)[unit];
}

// Whether mapped, the page's bytes for unit, reads back as unit: asked where a best fit is not
// wanted, or where the default character came out.
bool MapsBack(const CodePage& page, DWORD flags, wchar_t unit, uint16_t mapped)
{
    if ((flags & WC_NO_BEST_FIT_CHARS) == 0 && mapped != page.defaultChar) return true;
    if (page.dbcsOffsets != nullptr && (mapped >> 8) != 0) {
        return page.dbcsOffsets[page.dbcsOffsets[mapped >> 8] + (mapped & 0xFF)] == unit;
    }
    return page.toUnicode[mapped & 0xFF] == unit;
}

void PageToWide(const CodePage& page, const unsigned char* src, size_t length, std::wstring& out)
{
    for (size_t i = 0; i < length; ++i) {
        const uint16_t offset = page.dbcsOffsets != nullptr ? page.dbcsOffsets[src[i]] : 0;
        if (offset != 0 && i + 1 < length) {
            out += static_cast<wchar_t>(page.dbcsOffsets[offset + src[++i]]);
        } else {
            out += static_cast<wchar_t>(page.toUnicode[src[i]]);
        }
    }
}

// UTF-8 as Windows 10 and Wine read it: each maximal part of a sequence that cannot be completed
// becomes one U+FFFD. False on the first such part when invalid characters are errors.
bool Utf8ToWide(const unsigned char* src, size_t length, bool strict, std::wstring& out)
{
    size_t i = 0;
    while (i < length) {
        const unsigned char lead = src[i];
        unsigned need = 0;
        uint32_t code = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            out += static_cast<wchar_t>(lead);
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            need = 1;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            need = 2;
            code = lead & 0x0F;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            need = 3;
            code = lead & 0x07;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        }
        size_t next = i + 1;
        bool whole = need > 0;
        for (unsigned k = 0; k < need; ++k, ++next) {
            if (next >= length || src[next] < low || src[next] > high) {
                whole = false;
                break;
            }
            code = (code << 6) | (src[next] & 0x3F);
            low = 0x80;
            high = 0xBF;
        }
        if (!whole) {
            if (strict) return false;
            out += L'\xFFFD';
            i = need > 0 ? next : i + 1;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (code >> 10));
            out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<wchar_t>(code);
        }
        i = next;
    }
    return true;
}

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD, or fails when invalid characters are errors.
bool WideToUtf8(const wchar_t* src, size_t length, bool strict, std::string& out)
{
    for (size_t i = 0; i < length; ++i) {
        uint32_t code = static_cast<uint16_t>(src[i]);
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < length && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint16_t>(src[++i]) - 0xDC00);
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            if (strict) return false;
            code = 0xFFFD;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return true;
}

// --- Files in memory.

struct File {
    std::string bytes;
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    int64_t changes = 0;  // its last-write time: every write and cut moves it on
};

struct Handle {
    std::wstring key;           // a file's key, or the folder's for a search
    int64_t pos = 0;
    DWORD access = 0;
    bool search = false;
    std::vector<std::wstring> names;  // a search's names still to give
};

std::map<std::wstring, File> g_files;  // by upper-case full path
std::map<Handle*, std::unique_ptr<Handle>> g_handles;
int g_failFrom[static_cast<int>(Op::Count)] = {-1, -1, -1, -1, -1};
int g_calls[static_cast<int>(Op::Count)] = {};

// True when this call of op is to fail; counts it.
bool Fails(Op op)
{
    const int i = static_cast<int>(op);
    const int call = g_calls[i]++;
    return g_failFrom[i] >= 0 && call >= g_failFrom[i];
}

BOOL Fail(DWORD code)
{
    SetLastError(code);
    return FALSE;
}

std::wstring Upper(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return text;
}

// The full path: a relative one is in the folder. The "\\?\" form names the same file.
std::wstring FullPath(const std::wstring& path)
{
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return path;
    return kFolder + path;
}

// The key of a file in the folder; empty for any other path.
std::wstring KeyOf(const wchar_t* path)
{
    if (path == nullptr) return std::wstring();
    const std::wstring full = Upper(FullPath(path));
    const std::wstring folder = Upper(kFolder);
    if (full.compare(0, folder.size(), folder) != 0 || full.size() == folder.size()) return std::wstring();
    if (full.find(L'\\', folder.size()) != std::wstring::npos) return std::wstring();
    return full;
}

bool IsFolder(const wchar_t* path)
{
    std::wstring full = Upper(FullPath(path));
    if (!full.empty() && full.back() != L'\\') full += L'\\';
    return full == Upper(kFolder);
}

Handle* HandleOf(HANDLE handle)
{
    auto found = g_handles.find(static_cast<Handle*>(handle));
    if (found == g_handles.end()) Gap("a handle that the layer did not give");
    return found->second.get();
}

HANDLE NewHandle(std::unique_ptr<Handle> handle)
{
    Handle* raw = handle.get();
    g_handles[raw] = std::move(handle);
    return raw;
}

File* FileOf(Handle* handle)
{
    auto found = g_files.find(handle->key);
    // A file deleted or moved while open: Windows would not allow it with the modes used here.
    if (found == g_files.end()) Gap("an open file that was deleted or moved");
    return &found->second;
}

} // namespace

void SetAnsiCodePage(unsigned codePage)
{
    Page(codePage);
    g_acp = codePage;
}

unsigned AnsiCodePage() { return g_acp; }

void ResetFiles()
{
    g_files.clear();
    g_handles.clear();
    for (int i = 0; i < static_cast<int>(Op::Count); ++i) {
        g_failFrom[i] = -1;
        g_calls[i] = 0;
    }
}

void PutFile(const std::wstring& path, const std::string& bytes, uint32_t attributes)
{
    File& file = g_files[KeyOf(path.c_str())];
    file.bytes = bytes;
    file.attributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_ARCHIVE;
}

bool GetFile(const std::wstring& path, std::string& bytes)
{
    auto found = g_files.find(KeyOf(path.c_str()));
    if (found == g_files.end()) return false;
    bytes = found->second.bytes;
    return true;
}

std::vector<std::wstring> FileNames()
{
    std::vector<std::wstring> names;
    for (const auto& entry : g_files) names.push_back(entry.first.substr(wcslen(kFolder)));
    return names;
}

size_t OpenHandles() { return g_handles.size(); }

void FailFrom(Op op, int nth)
{
    const int i = static_cast<int>(op);
    g_failFrom[i] = nth < 0 ? -1 : g_calls[i] + nth;
}

int Calls(Op op) { return g_calls[static_cast<int>(op)]; }

} // namespace fuzz_layer

using namespace fuzz_layer;

namespace {
thread_local DWORD g_lastError = 0;

// The C runtime's rule for the _vsn*printf functions: the whole output and a zero when it fits;
// exactly count characters and no zero when it has count; otherwise -1.
template <typename Char>
int PutFormatted(const std::basic_string<Char>& text, Char* buffer, size_t count)
{
    if (text.size() > count) return -1;
    std::memcpy(buffer, text.data(), text.size() * sizeof(Char));
    if (text.size() < count) buffer[text.size()] = 0;
    return static_cast<int>(text.size());
}
} // namespace

extern "C" {

// --- The last error and its text.

DWORD WINAPI GetLastError() { return g_lastError; }
void WINAPI SetLastError(DWORD code) { g_lastError = code; }

DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID, DWORD code, DWORD, LPWSTR buffer, DWORD, __ms_va_list*)
{
    if (flags != (FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM)) Gap("FormatMessageW with these flags");
    const std::string text = "System error " + std::to_string(code) + ".\r\n";
    auto* message = static_cast<wchar_t*>(std::malloc((text.size() + 1) * sizeof(wchar_t)));
    for (size_t i = 0; i <= text.size(); ++i) message[i] = static_cast<wchar_t>(text.c_str()[i]);
    *reinterpret_cast<wchar_t**>(buffer) = message;
    return static_cast<DWORD>(text.size());
}

HLOCAL WINAPI LocalFree(HLOCAL memory)
{
    std::free(memory);
    return nullptr;
}

// --- Code pages.

UINT WINAPI GetACP() { return g_acp; }

INT WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, INT srcLength, LPWSTR dst, INT dstLength)
{
    if (src == nullptr || srcLength == 0 || dstLength < 0 || (dstLength > 0 && dst == nullptr)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const size_t length = srcLength < 0 ? std::strlen(src) + 1 : static_cast<size_t>(srcLength);
    const auto* bytes = reinterpret_cast<const unsigned char*>(src);
    std::wstring out;
    if (codePage == CP_UTF8) {
        if (!Utf8ToWide(bytes, length, (flags & MB_ERR_INVALID_CHARS) != 0, out)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    } else if (codePage == CP_ACP) {
        if ((flags & MB_ERR_INVALID_CHARS) != 0) Gap("MB_ERR_INVALID_CHARS with the ANSI code page");
        PageToWide(Page(g_acp), bytes, length, out);
    } else {
        Gap("a code page other than CP_ACP and CP_UTF8");
    }
    if (dstLength == 0) return static_cast<INT>(out.size());
    if (out.size() > static_cast<size_t>(dstLength)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(dst, out.data(), out.size() * sizeof(wchar_t));
    return static_cast<INT>(out.size());
}

INT WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, INT srcLength, LPSTR dst, INT dstLength,
                               LPCSTR defaultChar, LPBOOL usedDefault)
{
    if (src == nullptr || srcLength == 0 || dstLength < 0 || (dstLength > 0 && dst == nullptr)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const size_t length = srcLength < 0 ? wcslen(src) + 1 : static_cast<size_t>(srcLength);
    std::string out;
    if (codePage == CP_UTF8) {
        if (defaultChar != nullptr || usedDefault != nullptr) return Fail(ERROR_INVALID_PARAMETER);
        if ((flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) return Fail(ERROR_INVALID_FLAGS);
        if (!WideToUtf8(src, length, flags != 0, out)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    } else if (codePage == CP_ACP) {
        if ((flags & ~static_cast<DWORD>(WC_NO_BEST_FIT_CHARS)) != 0 || defaultChar != nullptr) {
            Gap("WideCharToMultiByte with these flags or a default character");
        }
        const CodePage& page = Page(g_acp);
        if (usedDefault != nullptr) *usedDefault = FALSE;
        // Without flags and without the question, every unit takes the table's byte: a best fit.
        const bool checked = flags != 0 || usedDefault != nullptr;
        for (size_t i = 0; i < length; ++i) {
            uint16_t mapped = FromUnicode(page, src[i]);
            if (checked && !MapsBack(page, flags, src[i], mapped)) {
                mapped = page.defaultChar;
                if (usedDefault != nullptr) *usedDefault = TRUE;
            }
            if ((mapped >> 8) != 0) out += static_cast<char>(mapped >> 8);
            out += static_cast<char>(mapped & 0xFF);
        }
    } else {
        Gap("a code page other than CP_ACP and CP_UTF8");
    }
    if (dstLength == 0) return static_cast<INT>(out.size());
    if (out.size() > static_cast<size_t>(dstLength)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(dst, out.data(), out.size());
    return static_cast<INT>(out.size());
}

// --- Files.

HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD, HANDLE)
{
    if (Fails(Op::Open)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const std::wstring key = KeyOf(path);
    if (key.empty()) {
        SetLastError(IsFolder(path) ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto found = g_files.find(key);
    switch (creation) {
    case OPEN_EXISTING:
        if (found == g_files.end()) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        break;
    case CREATE_NEW:
        if (found != g_files.end()) {
            SetLastError(ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        g_files[key];
        break;
    case CREATE_ALWAYS: g_files[key].bytes.clear(); break;
    default: Gap("CreateFileW with this creation mode");
    }
    auto handle = std::make_unique<Handle>();
    handle->key = key;
    handle->access = access;
    SetLastError(ERROR_SUCCESS);
    return NewHandle(std::move(handle));
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    if (g_handles.erase(static_cast<Handle*>(handle)) == 0) Gap("closing a handle that the layer did not give");
    return TRUE;
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED overlapped)
{
    if (overlapped != nullptr || got == nullptr) Gap("ReadFile without a count or with overlapping");
    *got = 0;
    Handle* h = HandleOf(handle);
    if ((h->access & GENERIC_READ) == 0) return Fail(ERROR_ACCESS_DENIED);
    if (Fails(Op::Read)) return Fail(ERROR_READ_FAULT);
    const std::string& bytes = FileOf(h)->bytes;
    if (h->pos < static_cast<int64_t>(bytes.size())) {
        const size_t n = std::min<size_t>(count, bytes.size() - static_cast<size_t>(h->pos));
        std::memcpy(buffer, bytes.data() + h->pos, n);
        h->pos += static_cast<int64_t>(n);
        *got = static_cast<DWORD>(n);
    }
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (overlapped != nullptr || written == nullptr) Gap("WriteFile without a count or with overlapping");
    *written = 0;
    Handle* h = HandleOf(handle);
    if ((h->access & GENERIC_WRITE) == 0) return Fail(ERROR_ACCESS_DENIED);
    if (Fails(Op::Write)) return Fail(ERROR_DISK_FULL);
    std::string& bytes = FileOf(h)->bytes;
    const size_t end = static_cast<size_t>(h->pos) + count;
    if (bytes.size() < end) bytes.resize(end);
    std::memcpy(&bytes[static_cast<size_t>(h->pos)], buffer, count);
    ++FileOf(h)->changes;
    h->pos = static_cast<int64_t>(end);
    *written = count;
    return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE handle)
{
    HandleOf(handle);
    if (Fails(Op::Flush)) return Fail(ERROR_WRITE_FAULT);
    return TRUE;
}

BOOL WINAPI GetFileSizeEx(HANDLE handle, PLARGE_INTEGER size)
{
    size->QuadPart = static_cast<LONGLONG>(FileOf(HandleOf(handle))->bytes.size());
    return TRUE;
}

BOOL WINAPI SetFilePointerEx(HANDLE handle, LARGE_INTEGER distance, PLARGE_INTEGER newPos, DWORD method)
{
    Handle* h = HandleOf(handle);
    int64_t base = 0;
    if (method == FILE_CURRENT) base = h->pos;
    else if (method == FILE_END) base = static_cast<int64_t>(FileOf(h)->bytes.size());
    if (base + distance.QuadPart < 0) return Fail(ERROR_NEGATIVE_SEEK);
    h->pos = base + distance.QuadPart;
    if (newPos != nullptr) newPos->QuadPart = h->pos;
    return TRUE;
}

DWORD WINAPI GetFileType(HANDLE handle)
{
    HandleOf(handle);
    return FILE_TYPE_DISK;
}

BOOL WINAPI GetFileInformationByHandleEx(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size)
{
    const File* file = FileOf(HandleOf(handle));
    if (kind == FileStandardInfo && size == sizeof(FILE_STANDARD_INFO)) {
        auto* standard = static_cast<FILE_STANDARD_INFO*>(info);
        std::memset(standard, 0, sizeof *standard);
        standard->EndOfFile.QuadPart = static_cast<LONGLONG>(file->bytes.size());
        standard->AllocationSize = standard->EndOfFile;
        standard->NumberOfLinks = 1;
        return TRUE;
    }
    if (kind != FileBasicInfo || size != sizeof(FILE_BASIC_INFO)) Gap("GetFileInformationByHandleEx of this kind");
    auto* basic = static_cast<FILE_BASIC_INFO*>(info);
    std::memset(basic, 0, sizeof *basic);
    basic->FileAttributes = file->attributes;
    basic->LastWriteTime.QuadPart = file->changes;
    return TRUE;
}

BOOL WINAPI SetFileInformationByHandle(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size)
{
    if (kind != FileBasicInfo || size != sizeof(FILE_BASIC_INFO)) Gap("SetFileInformationByHandle of this kind");
    const DWORD attributes = static_cast<FILE_BASIC_INFO*>(info)->FileAttributes;
    if (attributes != 0) FileOf(HandleOf(handle))->attributes = attributes;
    return TRUE;
}

DWORD WINAPI GetFileAttributesW(LPCWSTR path)
{
    if (IsFolder(path)) return FILE_ATTRIBUTE_DIRECTORY;
    auto found = g_files.find(KeyOf(path));
    if (found == g_files.end()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return found->second.attributes;
}

BOOL WINAPI MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) Gap("MoveFileExW that does not replace");
    const std::wstring source = KeyOf(from);
    const std::wstring target = KeyOf(to);
    auto found = g_files.find(source);
    if (source.empty() || target.empty() || found == g_files.end()) return Fail(ERROR_FILE_NOT_FOUND);
    if (Fails(Op::Rename)) return Fail(ERROR_ACCESS_DENIED);
    for (const auto& open : g_handles) {
        if (!open.second->search && (open.second->key == source || open.second->key == target)) {
            return Fail(ERROR_SHARING_VIOLATION);
        }
    }
    auto existing = g_files.find(target);
    if (existing != g_files.end() && (existing->second.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    File moved = std::move(found->second);
    g_files.erase(found);
    g_files[target] = std::move(moved);
    return TRUE;
}

BOOL WINAPI DeleteFileW(LPCWSTR path)
{
    auto found = g_files.find(KeyOf(path));
    if (found == g_files.end()) return Fail(ERROR_FILE_NOT_FOUND);
    for (const auto& open : g_handles) {
        if (!open.second->search && open.second->key == found->first) return Fail(ERROR_SHARING_VIOLATION);
    }
    g_files.erase(found);
    return TRUE;
}

DWORD WINAPI GetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* filePart)
{
    if (filePart != nullptr) Gap("GetFullPathNameW with a file part");
    const std::wstring full = FullPath(path);
    if (size <= full.size()) return static_cast<DWORD>(full.size() + 1);
    std::memcpy(buffer, full.c_str(), (full.size() + 1) * sizeof(wchar_t));
    return static_cast<DWORD>(full.size());
}

namespace {
BOOL NextFound(Handle* search, LPWIN32_FIND_DATAW found)
{
    if (search->names.empty()) return Fail(ERROR_NO_MORE_FILES);
    std::memset(found, 0, sizeof *found);
    const std::wstring name = search->names.front();
    search->names.erase(search->names.begin());
    const size_t length = std::min<size_t>(name.size(), MAX_PATH - 1);
    std::memcpy(found->cFileName, name.data(), length * sizeof(wchar_t));
    found->dwFileAttributes = GetFileAttributesW(name.c_str());
    return TRUE;
}
} // namespace

HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW found)
{
    if (Upper(FullPath(pattern)) != Upper(kFolder) + L"*") Gap("FindFirstFileW other than of the folder's files");
    auto search = std::make_unique<Handle>();
    search->search = true;
    search->names = FileNames();
    if (search->names.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    Handle* raw = search.get();
    HANDLE handle = NewHandle(std::move(search));
    NextFound(raw, found);
    return handle;
}

BOOL WINAPI FindNextFileW(HANDLE handle, LPWIN32_FIND_DATAW found) { return NextFound(HandleOf(handle), found); }

BOOL WINAPI FindClose(HANDLE handle) { return CloseHandle(handle); }

BOOL WINAPI SetEndOfFile(HANDLE handle)
{
    Handle* h = HandleOf(handle);
    if ((h->access & GENERIC_WRITE) == 0) return Fail(ERROR_ACCESS_DENIED);
    FileOf(h)->bytes.resize(static_cast<size_t>(h->pos));
    ++FileOf(h)->changes;
    return TRUE;
}

// The folder is the only one there is: no other is made.
BOOL WINAPI CreateDirectoryW(LPCWSTR, LPSECURITY_ATTRIBUTES) { return Fail(ERROR_ACCESS_DENIED); }

// --- What the save asks about a file beyond its bytes: the files in memory have no links, no
// security of their own and no other names, and the questions are answered as a file system
// that keeps none of these answers them (FAT): not supported.

DWORD WINAPI GetFinalPathNameByHandleW(HANDLE, LPWSTR, DWORD, DWORD)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}

DWORD WINAPI GetLongPathNameW(LPCWSTR, LPWSTR, DWORD)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}

DWORD WINAPI GetSecurityInfo(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                             PSECURITY_DESCRIPTOR*)
{
    return ERROR_NOT_SUPPORTED;
}

BOOL WINAPI GetFileSecurityW(LPCWSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD)
{
    return Fail(ERROR_NOT_SUPPORTED);
}

BOOL WINAPI GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR, PSECURITY_DESCRIPTOR_CONTROL, LPDWORD)
{
    return Fail(ERROR_NOT_SUPPORTED);
}

BOOL WINAPI GetAce(PACL, DWORD, LPVOID*) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL WINAPI EqualSid(PSID, PSID) { return FALSE; }
void WINAPI MapGenericMask(PDWORD, PGENERIC_MAPPING) {}
HANDLE WINAPI GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
BOOL WINAPI OpenProcessToken(HANDLE, DWORD, PHANDLE) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL WINAPI DuplicateToken(HANDLE, SECURITY_IMPERSONATION_LEVEL, PHANDLE) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL WINAPI AccessCheck(PSECURITY_DESCRIPTOR, HANDLE, DWORD, PGENERIC_MAPPING, PPRIVILEGE_SET, LPDWORD, LPDWORD,
                        LPBOOL)
{
    return Fail(ERROR_NOT_SUPPORTED);
}
HMODULE WINAPI GetModuleHandleW(LPCWSTR) { return nullptr; }
FARPROC WINAPI GetProcAddress(HMODULE, LPCSTR) { return nullptr; }
HRESULT WINAPI SHGetFolderPathW(HWND, int, HANDLE, DWORD, LPWSTR) { return E_FAIL; }

// One program alone: every lock is granted, and goes with its handle.
BOOL WINAPI LockFileEx(HANDLE handle, DWORD, DWORD, DWORD, DWORD, LPOVERLAPPED)
{
    HandleOf(handle);
    return TRUE;
}

// --- Time: fixed, so that every run of an input is the same.

DWORD WINAPI GetTickCount() { return 0; }

void WINAPI GetSystemTimeAsFileTime(LPFILETIME time)
{
    const ULONGLONG units = 133000000000000000ULL;  // in 2022
    time->dwLowDateTime = static_cast<DWORD>(units);
    time->dwHighDateTime = static_cast<DWORD>(units >> 32);
}

void WINAPI GetLocalTime(LPSYSTEMTIME time)
{
    std::memset(time, 0, sizeof *time);
    time->wYear = 2022;
    time->wMonth = 6;
    time->wDay = 1;
}

void WINAPI Sleep(DWORD) {}

// --- Windows' C runtime.

int _wtoi(const wchar_t* text)
{
    while (*text == L' ' || (*text >= L'\t' && *text <= L'\r')) ++text;
    const bool negative = *text == L'-';
    if (*text == L'-' || *text == L'+') ++text;
    long long value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        value = value * 10 + (*text - L'0');
        if (value > 0x80000000LL) value = 0x80000000LL;  // saturates, as the runtime's _wtol
    }
    if (negative) value = -value;
    if (value > 0x7FFFFFFFLL) value = 0x7FFFFFFFLL;
    return static_cast<int>(value);
}

wchar_t* _itow(int value, wchar_t* buffer, int radix)
{
    if (radix < 2 || radix > 36) Gap("_itow with this radix");
    unsigned long long magnitude = static_cast<unsigned>(value);
    const bool negative = radix == 10 && value < 0;
    if (negative) magnitude = 0ULL - static_cast<long long>(value);
    wchar_t digits[40];
    size_t n = 0;
    do {
        const unsigned digit = static_cast<unsigned>(magnitude % static_cast<unsigned>(radix));
        digits[n++] = static_cast<wchar_t>(digit < 10 ? L'0' + digit : L'a' + digit - 10);
        magnitude /= static_cast<unsigned>(radix);
    } while (magnitude != 0);
    size_t out = 0;
    if (negative) buffer[out++] = L'-';
    while (n > 0) buffer[out++] = digits[--n];
    buffer[out] = 0;
    return buffer;
}

int _vsnprintf(char* buffer, size_t count, const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed < 0) return -1;
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
    return PutFormatted(text, buffer, count);
}

// The conversions the program's formats use: %s (wide), %d, %u, %x with a zero flag and a
// width, and %%.
int _vsnwprintf(wchar_t* buffer, size_t count, const wchar_t* format, va_list args)
{
    std::wstring text;
    for (const wchar_t* p = format; *p != 0; ++p) {
        if (*p != L'%') {
            text += *p;
            continue;
        }
        ++p;
        if (*p == L'%') {
            text += L'%';
            continue;
        }
        const bool zero = *p == L'0';
        unsigned width = 0;
        for (; *p >= L'0' && *p <= L'9'; ++p) width = width * 10 + static_cast<unsigned>(*p - L'0');
        std::wstring field;
        switch (*p) {
        case L's': {
            const wchar_t* s = va_arg(args, const wchar_t*);
            field = s != nullptr ? s : L"(null)";
            break;
        }
        case L'd':
        case L'u':
        case L'x': {
            char digits[24];
            const int value = va_arg(args, int);
            if (*p == L'd') std::snprintf(digits, sizeof digits, "%d", value);
            if (*p == L'u') std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(value));
            if (*p == L'x') std::snprintf(digits, sizeof digits, "%x", static_cast<unsigned>(value));
            for (const char* d = digits; *d != 0; ++d) field += static_cast<wchar_t>(*d);
            break;
        }
        default: Gap("this conversion of _vsnwprintf");
        }
        if (field.size() < width) {
            const size_t pad = width - field.size();
            const bool sign = zero && !field.empty() && field[0] == L'-';
            field.insert(sign ? 1 : 0, pad, zero ? L'0' : L' ');
        }
        text += field;
    }
    return PutFormatted(text, buffer, count);
}

} // extern "C"
