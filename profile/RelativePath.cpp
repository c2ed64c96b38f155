#include "profile/RelativePath.h"

#include "support/TextEdit.h"

namespace {

const wchar_t kCurrentPrefix[] = L".\\";
const wchar_t kParentPrefix[] = L"..\\";

} // namespace

std::wstring ResolveRelativePath(const std::wstring& relativePath, const std::wstring& baseDir)
{
    if (relativePath.empty() || baseDir.empty()) return std::wstring();

    std::wstring rest = relativePath;
    // One level is the base folder itself; each "..\" adds one.
    int levels = 0;
    if (StartsWith(rest, kCurrentPrefix)) {
        rest.erase(0, 2);
        levels = 1;
    } else if (StartsWith(rest, kParentPrefix)) {
        levels = 1;
        while (StartsWith(rest, kParentPrefix)) {
            rest.erase(0, 3);
            ++levels;
        }
        if (StartsWith(rest, kCurrentPrefix)) rest.erase(0, 2);
    } else {
        return relativePath;
    }

    std::wstring base = baseDir;
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    for (int i = 1; i < levels; ++i) CutAtChar(base, L'\\', false, true);
    return base + L"\\" + rest;
}
