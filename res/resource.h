// Resource ids shared by morvanti.rc and the program. The numbers are fixed: other tools and
// the tests find windows and commands by them.
#pragma once

#define IDS_APP_TITLE           103
#define IDS_WINDOW_CLASS        109

#define IDI_MORVANTI            130
#define IDC_MORVANTI            109     // menu and accelerator table of the window class
#define IDD_MAIN                129

#define IDM_ABOUT               104
#define IDM_EXIT                105

#define IDC_INCLUDE_EDIT        1000
#define IDC_EXCLUDE_EDIT        1001
#define IDC_PATH_EDIT           1002
#define IDC_RELOAD              1003
#define IDC_HELP_BUTTON         1005

#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif
