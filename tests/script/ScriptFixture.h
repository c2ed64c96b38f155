#pragma once
// Scripts on disk for the script-model tests: lines joined with CR LF, read back as lines.

#include <string>
#include <vector>

#include "script/AutoRender.h"
#include "support/Charset.h"
#include "tests/common/TestFiles.h"

using Lines = std::vector<std::wstring>;

inline std::string JoinCrLf(const std::vector<std::string>& lines)
{
    std::string bytes;
    for (const auto& line : lines) bytes += line + "\r\n";
    return bytes;
}

// The kept lines of an 8-bit script model, read as ANSI text, as copies that tests can compare.
inline Lines ToLines(const CLineList& list)
{
    Lines lines;
    for (size_t i = 0; i < list.Count(); ++i) lines.push_back(AnsiToWide(std::string(list.Line(i))));
    return lines;
}

inline std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }
