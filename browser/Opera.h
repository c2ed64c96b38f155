#pragma once
// Where Opera is installed, where its profile lives (single-user: inside the installation;
// multi-user: in the user's application-data folder) and the few settings of its main
// configuration file "opera6.ini" that the program uses. Opera's registry key and files are
// only read, never written.

#include <string>

#include "support/LastError.h"

class COpera {
public:
    COpera() = default;
    virtual ~COpera() = default;

    // Opera's installation directory as the registry holds it; empty when the key or its value
    // is missing. Uses no field of the object.
    std::wstring GetInstallDir();
    // Works out the profile from the installation directory and reads "opera6.ini". False when
    // the directory is empty (then nothing changes) or the file cannot be opened (then the
    // paths are set, the configuration values empty and messages tells why).
    bool Init(const std::wstring& installDirectory);
    // Empties every field, messages included.
    void Reset();
    // Appends a text meant for the user, ended by "\n".
    void AddMessage(const std::wstring& text);

    // The installation of the 9.5 beta keeps its multi-user profile in a folder of its own.
    static bool IsBeta95(const std::wstring& installDirectory);

    std::wstring installDir;        // without a trailing backslash
    std::wstring dataPath;          // the folder that holds the "profile" folder
    std::wstring mainConfigPath;    // ...\profile\opera6.ini
    std::wstring menuConfig;
    std::wstring toolbarConfig;
    std::wstring keyboardConfig;
    std::wstring userJavaScriptDir; // "User JavaScript File", as it stands in opera6.ini
    std::wstring userStylesDir;     // ...\profile\styles\user
    std::wstring pluginsDir;        // ...\program\plugins\ (with its trailing backslash)
    std::wstring mouseConfig;
    std::wstring messages;          // each text followed by "\n"

    const CLastError& Error() const { return error_; }

private:
    CLastError error_;
};
