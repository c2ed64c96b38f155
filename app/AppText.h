#pragma once
// Window-free pieces of the program shell: the texts it shows and the arithmetic it does,
// kept apart from the window code so that they read (and can be checked) on their own.

#include <string>

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
