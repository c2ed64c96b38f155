#pragma once
// Merging one pattern list of the dialog with what another program (a quick add started from the
// browser, another copy of this program, an editor) changed in the script since the list was
// read. Window-free: the dialog's Save hands in three texts and writes the one that comes back.

#include <string>

// loadedText: the list as the file held it when the box was filled; boxText: the box now;
// fileText: the list as the file holds it now. Each text is split into lines at CR LF, lone CR
// and lone LF, empty pieces dropped, as Save writes them.
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
// Returns true when the merge changed the box's lines; saved then holds them, each ended by
// CR LF. Otherwise saved is boxText itself, blank lines and all, and false is returned.
bool MergePatternText(const std::wstring& loadedText, const std::wstring& boxText,
                      const std::wstring& fileText, std::wstring& saved);
