#pragma once
// The Help button's popup menu, the web pages it opens and the About box.

#include <windows.h>

// Shows the help menu under the Help button of the dialog; the chosen item comes back to the
// dialog as a command.
void ShowHelpMenu(HWND dialog, HWND helpButton);
// Opens the web address of the string table entry with the shell; a page that cannot be opened
// is not reported.
void OpenWebPage(UINT stringId);
void ShowAboutBox(HWND owner);

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
