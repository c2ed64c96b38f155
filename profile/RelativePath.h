#pragma once
// Paths stored relative to the program's folder, in the ".\" and "..\" forms.

#include <string>

// Joins a path that begins with ".\" or with one or more "..\" (each going one folder up)
// to the base folder. Any other path, an absolute one included, comes back unchanged; an
// empty path or an empty base gives the empty text.
std::wstring ResolveRelativePath(const std::wstring& relativePath, const std::wstring& baseDir);
