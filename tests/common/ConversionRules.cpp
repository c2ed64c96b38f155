#include "tests/common/ConversionRules.h"

#include <windows.h>

#include <cstring>

namespace {

using WideToMultiByte = int(WINAPI*)(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL);
WideToMultiByte g_systemConversion = nullptr;

// "For the code pages [UTF-7 and UTF-8], dwFlags must be 0 (UTF-8 also: WC_ERR_INVALID_CHARS);
// otherwise the function fails with ERROR_INVALID_FLAGS"; lpDefaultChar and lpUsedDefaultChar
// "must be NULL; otherwise the function fails with ERROR_INVALID_PARAMETER".
int WINAPI StrictWideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH text, int length, LPSTR out, int size,
                                     LPCCH defaultChar, LPBOOL usedDefault)
{
    const UINT actual = codePage == CP_ACP ? GetACP() : codePage;
    if (actual == CP_UTF8 || actual == CP_UTF7) {
        const DWORD allowed = actual == CP_UTF8 ? WC_ERR_INVALID_CHARS : 0;
        if ((flags & ~allowed) != 0) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
        if (defaultChar != nullptr || usedDefault != nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    }
    return g_systemConversion(codePage, flags, text, length, out, size, defaultChar, usedDefault);
}

// The slot of this program's import table through which it calls kernel32's function of that
// name; null when it imports no such function.
ULONG_PTR* ImportSlot(const char* name)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return nullptr;
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); module->Name != 0;
         ++module) {
        if (_stricmp(reinterpret_cast<const char*>(base + module->Name), "kernel32.dll") != 0) continue;
        const DWORD namesAt = module->OriginalFirstThunk != 0 ? module->OriginalFirstThunk : module->FirstThunk;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + namesAt);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) == 0) {
                return reinterpret_cast<ULONG_PTR*>(&slots->u1.Function);
            }
        }
    }
    return nullptr;
}

} // namespace

bool EnforceWindowsConversionRules()
{
    if (g_systemConversion != nullptr) return true;
    ULONG_PTR* slot = ImportSlot("WideCharToMultiByte");
    DWORD protection = 0;
    if (slot == nullptr || !VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) return false;
    g_systemConversion = reinterpret_cast<WideToMultiByte>(*slot);
    *slot = reinterpret_cast<ULONG_PTR>(&StrictWideCharToMultiByte);
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    return true;
}
