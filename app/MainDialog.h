#pragma once
// The main settings dialog: the include, exclude and path boxes and the Save, Close, Reload and
// Help buttons. A modeless dialog; its end posts the quit message that ends the program.

#include <windows.h>

extern HWND g_mainDialog;

// Waits until a Save that still runs has ended: before the program ends, whatever ends it.
void WaitForPendingSave();

INT_PTR CALLBACK WndProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void OnInitDlg(HWND dialog);
