#include "app/VersionInfo.h"

#include <windows.h>

#include <vector>

#include "app/SafeDllSearch.h"
#include "support/OwnedHandle.h"
#include "support/TextEdit.h"
#include "textio/RunLog.h"

namespace {

using GetSizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
using GetInfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
using QueryValueFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

// version.dll is not among the DLLs that Windows always maps into a process, so a static import
// would be looked for in the program's folder first, where anyone could put one. It is loaded
// here from the system folder, for the time of one call.
class CVersionLibrary {
public:
    CVersionLibrary() : module_(LoadSystemLibrary(L"version.dll"))
    {
        if (!module_.IsValid()) return;
        getSize = FindFunction<GetSizeFn>(module_.Get(), "GetFileVersionInfoSizeW");
        getInfo = FindFunction<GetInfoFn>(module_.Get(), "GetFileVersionInfoW");
        queryValue = FindFunction<QueryValueFn>(module_.Get(), "VerQueryValueW");
    }

    bool IsLoaded() const { return getSize != nullptr && getInfo != nullptr && queryValue != nullptr; }

    GetSizeFn getSize = nullptr;
    GetInfoFn getInfo = nullptr;
    QueryValueFn queryValue = nullptr;

private:
    CModuleHandle module_;
};

}  // namespace

std::wstring GetVersionFromPath(const std::wstring& path)
{
    g_runLog.Printf(L"%s:[%d]", L"GetVersionFromPath", 110);
    const CVersionLibrary library;
    if (!library.IsLoaded()) {
        g_runLog.Printf(L"%s:[%d]", L"LoadSystemLibrary failed", static_cast<int>(GetLastError()));
        return std::wstring();
    }
    DWORD handle = 0;
    const DWORD size = library.getSize(path.c_str(), &handle);
    if (size == 0) {
        g_runLog.WriteLine(L"can not find version");
        return std::wstring();
    }
    std::vector<unsigned char> block(static_cast<size_t>(size) + 1, 0);
    if (!library.getInfo(path.c_str(), 0, size, block.data())) {
        g_runLog.Printf(L"%s:[%d]", L"GetVersionFromPath", 125);
        return std::wstring();
    }
    void* value = nullptr;
    UINT length = 0;
    if (!library.queryValue(block.data(), L"\\StringFileInfo\\080403a8\\FileVersion", &value, &length)
        || value == nullptr) {
        g_runLog.Printf(L"%s:[%d]", L"GetVersionFromPath", 156);
        return std::wstring();
    }
    // The length counts characters and may include the terminating zero; the value must not be
    // read past the block either way.
    const wchar_t* text = static_cast<const wchar_t*>(value);
    const unsigned char* end = block.data() + size;
    size_t count = 0;
    while (count < length && reinterpret_cast<const unsigned char*>(text + count + 1) <= end
           && text[count] != L'\0') {
        ++count;
    }
    std::wstring version(text, count);
    ReplaceAll(version, L",", L".");
    RemoveAll(version, L" ");
    return version;
}
