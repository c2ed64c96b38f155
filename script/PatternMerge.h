#pragma once
// Merging one pattern list of the dialog with what another program (a quick add started from the
// browser, another copy of this program, an editor) changed in the script since the list was
// read. Window-free: the dialog's Save hands in three texts and writes the one that comes back.

#include <string>

// loadedText: the list as the file held it when the box was filled; boxText: the box now; fileText:
// the list as the file holds it now. Each is split into pattern lines as Save splits it
// (PatternText.h); lines the file reads back the same (trailing spaces aside) are one pattern.
//
// Copies of one line cannot be told apart, so the rule counts them. For each distinct line with
// L copies in the loaded list, B in the box and F in the file now:
//   - drop   = max(0, min(L, B) - F) copies leave the box's lines: those that were loaded, are
//     still in the box and are no longer in the file. The box's last copies of the line go.
//   - append = max(0, F - max(L, B)) copies are added after the box's lines: those in the file
//     beyond both the loaded list and the box. They are the file's last copies of the line,
//     appended in the file's order.
// The line then has B - drop + append copies. A removal or an addition made on both sides is
// made once (a line both added is not doubled, a copy both removed does not take a second one
// with it); one made on one side only is kept.
//
// saved holds the lines, each as it stands and ended by CR LF: the box's lines that stay, then
// those appended. Returns true when the merge changed the box's lines (not merely their form).
bool MergePatternText(const std::wstring& loadedText, const std::wstring& boxText,
                      const std::wstring& fileText, std::wstring& saved);
