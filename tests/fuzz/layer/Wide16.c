/* The C library's functions on wide text, for the fuzz build's 16-bit wchar_t (-fshort-wchar):
 * glibc's own, and the sanitizers' interceptors of them, take 32-bit units. Defined here, they
 * take the place of both. */
#include <stddef.h>
#include <wchar.h>

_Static_assert(sizeof(wchar_t) == 2, "the fuzz build has UTF-16 text, as Windows");

size_t wcslen(const wchar_t* s)
{
    const wchar_t* p = s;
    while (*p != 0) ++p;
    return (size_t)(p - s);
}

size_t wcsnlen(const wchar_t* s, size_t most)
{
    size_t n = 0;
    while (n < most && s[n] != 0) ++n;
    return n;
}

int wcscmp(const wchar_t* a, const wchar_t* b)
{
    for (;; ++a, ++b) {
        if (*a != *b) return *a < *b ? -1 : 1;
        if (*a == 0) return 0;
    }
}

wchar_t* wmemcpy(wchar_t* restrict to, const wchar_t* restrict from, size_t n)
{
    for (size_t i = 0; i < n; ++i) to[i] = from[i];
    return to;
}

wchar_t* wmemmove(wchar_t* to, const wchar_t* from, size_t n)
{
    if (to < from) {
        for (size_t i = 0; i < n; ++i) to[i] = from[i];
    } else {
        for (size_t i = n; i > 0; --i) to[i - 1] = from[i - 1];
    }
    return to;
}

wchar_t* wmemset(wchar_t* to, wchar_t unit, size_t n)
{
    for (size_t i = 0; i < n; ++i) to[i] = unit;
    return to;
}

wchar_t* wmemchr(const wchar_t* s, wchar_t unit, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        if (s[i] == unit) return (wchar_t*)(s + i);
    }
    return NULL;
}

int wmemcmp(const wchar_t* a, const wchar_t* b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}
