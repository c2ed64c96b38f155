#include "tests/common/ConversionRules.h"

#include <windows.h>

#include <cstring>

namespace {

using Conversion = int(WINAPI*)(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL);
Conversion g_system = nullptr;

// For UTF-7 and UTF-8 only the flags 0 (UTF-8: also WC_ERR_INVALID_CHARS), else
// ERROR_INVALID_FLAGS; no default character, else ERROR_INVALID_PARAMETER.
int WINAPI StrictConversion(UINT codePage, DWORD flags, LPCWCH text, int length, LPSTR out, int size,
                            LPCCH defaultChar, LPBOOL usedDefault)
{
    const UINT actual = codePage == CP_ACP ? GetACP() : codePage;
    if (actual == CP_UTF8 || actual == CP_UTF7) {
        const DWORD refused = flags & ~(actual == CP_UTF8 ? WC_ERR_INVALID_CHARS : 0);
        if (refused != 0 || defaultChar != nullptr || usedDefault != nullptr) {
            SetLastError(refused != 0 ? ERROR_INVALID_FLAGS : ERROR_INVALID_PARAMETER);
            return 0;
        }
    }
    return g_system(codePage, flags, text, length, out, size, defaultChar, usedDefault);
}

} // namespace

bool EnforceWindowsConversionRules()
{
    if (g_system != nullptr) return true;
    // The slot of this program's import table through which it calls kernel32's function.
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); imports != 0 && module->Name != 0;
         ++module) {
        if (_stricmp(reinterpret_cast<const char*>(base + module->Name), "kernel32.dll") != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name,
                            "WideCharToMultiByte") != 0) {
                continue;
            }
            DWORD protection = 0;
            auto* function = &slot->u1.Function;
            if (!VirtualProtect(function, sizeof *function, PAGE_READWRITE, &protection)) return false;
            g_system = reinterpret_cast<Conversion>(*function);
            *function = reinterpret_cast<ULONG_PTR>(&StrictConversion);
            VirtualProtect(function, sizeof *function, protection, &protection);
            return true;
        }
    }
    return false;
}
