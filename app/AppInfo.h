#pragma once
// Where users reach the maker, and who made the program: the apology box, the help menu's web
// pages and the About box all take these from here, so they change in this one place. The
// resource compiler reads this file too; it wants narrow literals where C++ wants wide ones.

#ifdef RC_INVOKED
#define MORVANTI_TEXT(text) text
#else
#define MORVANTI_TEXT(text) L##text
#endif

#define MORVANTI_WEB_SITE       MORVANTI_TEXT("https://morvanti.example.com")
#define MORVANTI_WEB_HOST       MORVANTI_TEXT("morvanti.example.com")
#define MORVANTI_EMAIL          MORVANTI_TEXT("morvanti@example.com")
#define MORVANTI_AUTHOR         MORVANTI_TEXT("Brelkin")

// The help menu's three pages: the product page, the help pages, the feedback forum.
#define MORVANTI_HOME_PAGE      MORVANTI_TEXT("https://morvanti.example.com/morvanti.html")
#define MORVANTI_HELP_PAGE      MORVANTI_TEXT("https://help.morvanti.example.com/category/morvanti/")
#define MORVANTI_FEEDBACK_PAGE  MORVANTI_TEXT("https://forum.example.net/f?kw=brelkin")

