#pragma once
// The main settings dialog: the include, exclude and path boxes and the Save, Close, Reload and
// Help buttons. A modeless dialog; its end posts the quit message that ends the program.

#include <windows.h>

#include <exception>

extern HINSTANCE g_hInstance;
extern HWND g_mainDialog;

// An exception caught in the dialog procedure, which cannot let it pass through the system's
// frames; the message loop rethrows it so that the entry point's apology box reports it.
extern std::exception_ptr g_pendingException;
// Called in a dialog procedure's catch-all: keeps the exception being handled (the first one
// only) and ends the message loop, which rethrows it.
void KeepPendingException();
// The same for an exception caught elsewhere (on the save's thread).
void KeepPendingException(const std::exception_ptr& thrown);
// Waits until a Save that still runs has ended: before the program ends, whatever ends it.
void WaitForPendingSave();

INT_PTR CALLBACK WndProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void OnInitDlg(HWND dialog);

// WM_DPICHANGED: the window takes the rectangle the system suggests for the new DPI (lParam).
void TakeSuggestedRect(HWND window, LPARAM suggested);

// Moves the window to the middle of the desktop and shows it; the About box uses it too.
void CenterOnDesktop(HWND window);
