#pragma once
// Where users reach the maker. The apology box quotes these; keep them in this one place.

#define MORVANTI_WEB_SITE L"https://morvanti.example.com"
#define MORVANTI_EMAIL    L"morvanti@example.com"
