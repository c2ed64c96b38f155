#include "tests/common/TestFiles.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

CTempDir::CTempDir()
{
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        std::wstring candidate = std::wstring(base) + L"morvanti-test-" + std::to_wstring(GetCurrentProcessId()) +
                                 L"-" + std::to_wstring(++counter);
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = candidate + L"\\";
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create a temporary folder";
            return;
        }
    }
}

CTempDir::~CTempDir()
{
    if (path_.empty()) return;
    std::error_code ec;
    // Read-only files left by a test would stop the removal.
    for (auto& entry : fs::recursive_directory_iterator(path_, ec)) {
        SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(path_, ec);
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out.is_open());
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good());
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in.is_open()) return std::string("<missing>");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool PathExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ListFolder(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    std::error_code ec;
    for (auto& entry : fs::directory_iterator(folder, ec)) names.push_back(entry.path().filename().wstring());
    std::sort(names.begin(), names.end());
    std::wstring joined;
    for (auto& n : names) joined += n + L";";
    return joined;
}

unsigned ExpectedCodePage()
{
    const char* value = std::getenv("MORVANTI_EXPECT_ACP");
    return value ? static_cast<unsigned>(std::atoi(value)) : 0;
}
