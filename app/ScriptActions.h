#pragma once
// What the dialog's buttons do to the script and the settings file, without any window: the
// dialog reads its boxes, calls these and turns the outcome into a message box.

#include <string>

enum class ScriptAction { EmptyPath, CannotOpen, CannotWrite, Done };

// Re-reads the script named by the path box's text (resolved as at start-up, so the file
// written is the one the boxes were filled from), puts both pattern texts in and saves.
// g_scriptPath takes the path text as soon as it is not empty.
ScriptAction SaveScriptTexts(const std::wstring& pathText, const std::wstring& includeText,
                             const std::wstring& excludeText);

// Re-reads the script named by the path text. Done: g_autoRender holds its patterns and
// g_scriptPath the path text.
ScriptAction ReloadScript(const std::wstring& pathText);

// Stores g_scriptPath as the only value of a fresh settings file when the path changed.
// True when a file was written.
bool StoreScriptPathIfChanged();
