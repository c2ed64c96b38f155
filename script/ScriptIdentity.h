#pragma once
// Which file a script path names, as one text: two paths name the same script exactly when their
// identities are equal. The dialog's Save merges with what another program changed only in the
// file its boxes were filled from.

#include <string>

// The path made full (a relative one from the current directory), in its plain form rather than
// "\\?\", short 8.3 names expanded where the file exists, upper-cased by the system's own table
// (the one the file system compares names with, not any language's rules). Every spelling of one
// file's path (other letter case, a short name, the "\\?\" form, "." and ".." steps) gives the same
// identity. Empty when the system cannot map the name: then it is known as no script's.
std::wstring ScriptIdentity(const std::wstring& path);
