#pragma once
// What the program's windows share: the module they come from, the exception a window procedure
// caught, and where a window stands on the desktop.

#include <windows.h>

#include <exception>

extern HINSTANCE g_hInstance;

// An exception caught in a dialog procedure, which cannot let it pass through the system's
// frames; the message loop rethrows it so that the entry point's apology box reports it.
extern std::exception_ptr g_pendingException;
// Called in a dialog procedure's catch-all: keeps the exception being handled (the first one
// only) and ends the message loop, which rethrows it.
void KeepPendingException();
// The same for an exception caught elsewhere (on the save's thread).
void KeepPendingException(const std::exception_ptr& thrown);

// WM_DPICHANGED: the window takes the rectangle the system suggests for the new DPI (lParam).
void TakeSuggestedRect(HWND window, LPARAM suggested);
// Moves the window to the middle of the desktop and shows it.
void CenterOnDesktop(HWND window);
