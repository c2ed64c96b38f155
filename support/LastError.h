#pragma once
// The record through which every class says why its last operation failed:
// a code (a Windows error code, or one of the program's own codes below) and a text.

#include <windows.h>
#include <string>

// Own codes. 1 is also a Windows code; the failing operation tells which is meant.
enum : DWORD {
    kErrNone = 0,
    kErrOwn = 1,            // a failure the program detected itself, with its own text
    kErrEndOfEnum = 2,      // an enumeration has no further entry
};

class CLastError {
public:
    CLastError() = default;

    // Replaces the text wholesale, then the code.
    void SetError(const std::wstring& text, DWORD code);
    void ClearError() { SetError(std::wstring(), 0); }
    // Stores GetLastError() and its system message without the message's final line break.
    void SetErrorFromLastError();
    // Stores the given code (say, a registry status) and its system message unchanged.
    void SetErrorFromCode(DWORD code);
    // Replaces the text only, keeping the code already stored.
    void SetErrorText(const std::wstring& text) { text_ = text; }

    DWORD GetErrorCode() const { return code_; }
    const std::wstring& GetErrorText() const { return text_; }

private:
    DWORD code_ = 0;
    std::wstring text_;
};

// The system message for a code; false when the system has none.
bool FormatSystemMessage(DWORD code, std::wstring& message);

// The system message for GetLastError(), unchanged; empty when it cannot be formatted.
std::wstring GetLastErrorText();
