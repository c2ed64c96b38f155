#pragma once
// What the dialog's buttons do to the script and the settings file, without any window: the
// dialog reads its boxes, calls these and turns the outcome into a message box.
//
// Whenever the pattern boxes are filled from the script or saved to it, the two lists as the file
// then held them are remembered with the file's identity, so that a later Save to the same file
// keeps what another program (a quick add from the browser) changed in the lists meanwhile.

#include <string>

enum class ScriptAction {
    EmptyPath,
    CannotOpen,
    EncodingNotKept,      // the script's bytes could not all be written back: not read, not written
    PatternNotWritable,   // a pattern has characters the script's encoding lacks: not written
    MarkAtStart,          // the saved script would begin with bytes read as a byte-order mark: not written
    CannotWrite,
    Done,
};

// The pattern lists as Save wrote them. A list the merge changed (taking in what another program
// changed in the file) is flagged: its box is to show it, so that the box shows what the file holds.
struct SavedLists {
    bool includeMerged = false;
    bool excludeMerged = false;
    std::wstring includeText;
    std::wstring excludeText;
    std::wstring unwritablePattern;  // PatternNotWritable: the first such pattern
};

// Re-reads the script named by the path box's text (resolved as at start-up, so the file
// written is the one the boxes were filled from), puts both pattern texts in and saves.
// g_scriptPath takes the path text as soon as it is not empty. When the file is the one the
// boxes were filled from (or last saved to), each list is merged with the file's (see
// MergePatternText). Done: saved holds the lists as the file now holds them.
ScriptAction SaveScriptTexts(const std::wstring& pathText, const std::wstring& includeText,
                             const std::wstring& excludeText, SavedLists& saved);

// Whether a Save to the script named by pathText would replace pattern lists the boxes never
// showed: the script is not the one the boxes were filled from or last saved to (or they came
// from none) and holds at least one pattern. False when it cannot be read: the Save reports that.
bool SaveReplacesUnseenLists(const std::wstring& pathText);

// Re-reads the script named by the path text. Done: g_autoRender holds its patterns, which the
// boxes are to show, and g_scriptPath the path text.
ScriptAction ReloadScript(const std::wstring& pathText);

// Stores g_scriptPath as the only value of a fresh settings file when the path changed, unless
// the settings file already holds exactly that path: a file written by hand keeps its other
// lines, its comments and its encoding. True when a file was written.
bool StoreScriptPathIfChanged();
