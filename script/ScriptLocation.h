#pragma once
// Finding the user script "Autorender in IE.js" (through the settings file, else in the user
// JavaScript folder of an Opera's profile) and adding one address to its include list.

#include <string>

// The script path as the user sees it (not resolved); empty at start-up.
extern std::wstring g_scriptPath;
// True when the path in use did not come from the settings file, so that the dialog's Close
// stores it there. Edits of the path box set it too.
extern bool g_pathChanged;

enum class ScriptSource { SettingsFile, Opera, NotFound };

// "autorender_in_ie.ini" beside the program when it exists there, else in the per-user
// application-data folder (whether it exists or not).
std::wstring GetSettingsFilePath();

// Leaves the path found in g_scriptPath. logProfileLine: write the "Open profile[%s]" line
// (the dialog's use).
ScriptSource LocateScript(bool logProfileLine);

// The file a script path names: ".\" and "..\" paths are taken relative to the program's folder.
std::wstring ResolveScriptPath(const std::wstring& scriptPath);

// Appends the address to the include list of the located script and saves it.
bool AddURLtoInlcude(const std::wstring& address);
