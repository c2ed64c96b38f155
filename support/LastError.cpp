#include "support/LastError.h"

namespace {
const wchar_t kFormatFailed[] = L"格式化错误信息失败";
}

bool FormatSystemMessage(DWORD code, std::wstring& message)
{
    LPWSTR buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) {
        if (buffer != nullptr) LocalFree(buffer);
        return false;
    }
    message.assign(buffer, length);
    LocalFree(buffer);
    return true;
}

void CLastError::SetError(const std::wstring& text, DWORD code)
{
    text_ = text;
    code_ = code;
}

void CLastError::SetErrorFromLastError()
{
    code_ = GetLastError();
    std::wstring message;
    if (!FormatSystemMessage(code_, message)) {
        text_ = kFormatFailed;
        return;
    }
    if (!message.empty() && message.back() == L'\n') message.pop_back();
    if (!message.empty() && message.back() == L'\r') message.pop_back();
    text_ = message;
}

void CLastError::SetErrorFromCode(DWORD code)
{
    code_ = code;
    std::wstring message;
    text_ = FormatSystemMessage(code, message) ? message : std::wstring(kFormatFailed);
}

std::wstring GetLastErrorText()
{
    std::wstring message;
    if (!FormatSystemMessage(GetLastError(), message)) return std::wstring();
    return message;
}
