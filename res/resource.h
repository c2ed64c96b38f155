// Resource ids shared by morvanti.rc and the program. The numbers are fixed: other tools and
// the tests find windows and commands by them.
#pragma once

#define IDD_ABOUT               100
#define IDS_HOME_PAGE           102
#define IDS_APP_TITLE           103
#define IDS_HELP_PAGE           104
#define IDS_FEEDBACK_PAGE       105
#define IDS_WINDOW_CLASS        109

#define IDI_MORVANTI            130
#define IDC_MORVANTI            109     // menu and accelerator table of the window class
#define IDD_MAIN                129
#define IDR_HELP_MENU           134     // the Help button's popup menu
#define IDB_ABOUT               143     // the About box's picture at 96 DPI (48 pixels)
#define IDB_ABOUT_150           144     // the same at 144 DPI (72 pixels)
#define IDB_ABOUT_200           145     // the same at 192 DPI (96 pixels)

#define IDM_ABOUT               104
#define IDM_EXIT                105
#define IDM_FEEDBACK            32772
#define IDM_HELP_PAGE           32773
#define IDM_HOME_PAGE           32774

#define IDC_INCLUDE_EDIT        1000
#define IDC_EXCLUDE_EDIT        1001
#define IDC_PATH_EDIT           1002
#define IDC_RELOAD              1003
#define IDC_HELP_BUTTON         1005

// Controls of the About box.
#define IDC_ABOUT_PICTURE       1005
#define IDC_ABOUT_AUTHOR        1006
#define IDC_ABOUT_SITE          1007
#define IDC_ABOUT_EMAIL         1008
#define IDC_ABOUT_VERSION       1009

#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif
