#pragma once
// Window-free pieces of the program shell: the texts it shows and the arithmetic it does,
// kept apart from the window code so that they read (and can be checked) on their own.

#include <string>

// The captions and texts of the program's message boxes.
inline constexpr wchar_t kErrorCaption[] = L"错误";
inline constexpr wchar_t kSuccessCaption[] = L"成功";
inline constexpr wchar_t kApologyCaption[] = L"发生错误";
inline constexpr wchar_t kNotFoundText[] = L"找不到javascript文件，请自己指定其路径。";
inline constexpr wchar_t kEmptyPathText[] = L"javascript文件不能指定为空。";
inline constexpr wchar_t kCannotOpenText[] = L"无法打开javascript文件，请检查其是否存在。";
// A file whose bytes could not all be written back as they are is neither shown nor saved.
inline constexpr wchar_t kEncodingNotKeptText[] =
    L"无法保持javascript文件的编码不变（UTF-16大端序、含有NUL字符或不完整的UTF-16），为免损坏文件，未读取也未修改它。";
// An 8-bit script that would begin with bytes read as a byte-order mark is not saved.
inline constexpr wchar_t kMarkAtStartText[] =
    L"保存后javascript文件的开头会被当作字节顺序标记（BOM），下次将无法按原编码读取，文件未作修改。"
    L"请保留第一个模式块，或先删去文件中随后一行开头的这些字符。";
inline constexpr wchar_t kCannotWriteText[] = L"无法写入javascript文件，请检查其是否可写。";
inline constexpr wchar_t kSavedText[] = L"写入javascript文件成功。";
// Before the first pattern that the script's encoding cannot hold.
inline constexpr wchar_t kPatternNotWritableText[] = L"javascript文件的编码无法表示这一行中的字符，文件未作修改：\r\n";

// The quick-add address: every leading, then every trailing double quote removed; nothing else.
std::wstring StripOuterQuotes(const std::wstring& commandLine);

// "添加<address>成功。" or "添加<address>失败。".
std::wstring QuickAddMessage(const std::wstring& address, bool succeeded);

// The three CR LF-ended lines of the box shown when the program must stop on an unexpected error.
std::wstring ApologyText();

// The questions of the main dialog before it would throw edited pattern lists away: at Close
// (answered 是 / 否 / 取消), at Reload (是 / 否), and before a Save would replace the lists of a
// script the boxes were not filled from. source: the path the boxes were filled from, empty when
// they were filled from no script.
std::wstring UnsavedEditsQuestion();
std::wstring ReloadDiscardsEditsQuestion();
std::wstring ReplaceOtherListsQuestion(const std::wstring& target, const std::wstring& source);

// Top-left corner that centres a box of the given size on an area of the given size; each
// halving rounds toward zero, as the integer division does.
int CenteredOffset(int areaSize, int boxSize);
