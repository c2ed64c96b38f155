#pragma once
// Where Opera is installed, where its profile lives (single-user: inside the installation;
// multi-user: in the user's application-data folder) and the few settings of its main
// configuration file that the program uses: "opera6.ini" for Opera 9, "operaprefs.ini" for
// Opera 10 to 12. Opera's registry keys and files are only read, never written, and no folder
// is created.

#include <string>

#include "support/LastError.h"
#include "support/TextEdit.h"

class COpera {
public:
    COpera() = default;
    virtual ~COpera() = default;

    // Opera's installation directory as the registry holds it; empty when the key or its value
    // is missing. Uses no field of the object.
    std::wstring GetInstallDir();
    // Every installation folder the registry names, in the order they are tried, each once
    // (compared without letter case or a trailing backslash): Opera's key in HKEY_LOCAL_MACHINE
    // (GetInstallDir), the same key in the 64-bit view (where a 64-bit Opera keeps it), the same
    // key under HKEY_CURRENT_USER (an installation for the current user only), then
    // HKEY_CURRENT_USER\Software\Opera Software "Last Install Path" and "Last Install Path x64".
    StringList GetInstallDirs();
    // Works out Opera 9's profile from the installation directory and reads "opera6.ini". False
    // when the directory is empty (then nothing changes) or the file cannot be opened (then the
    // paths are set, the configuration values empty and messages tells why).
    bool Init(const std::wstring& installDirectory);
    // Tries each installation folder of GetInstallDirs, and in each, in turn: Opera 9's profile
    // as Init finds it; Opera 9's multi-user profile in the folder named after the installation
    // folder (%APPDATA%\Opera\<name>\profile\); Opera 10 to 12's profile ("operaprefs.ini").
    // Stops at the first main configuration file that names a user JavaScript folder and returns
    // true, the fields then coming from that file (mainConfigPath) and messages empty. Otherwise
    // false: the fields are those of the last place tried, and messages names each main
    // configuration file that could not be read.
    bool FindUserJavaScript();
    // Empties every field, messages included.
    void Reset();
    // Appends a text meant for the user, ended by "\n".
    void AddMessage(const std::wstring& text);

    // The installation of the 9.5 beta keeps its multi-user profile in a folder of its own.
    static bool IsBeta95(const std::wstring& installDirectory);

    std::wstring installDir;        // without a trailing backslash
    std::wstring dataPath;          // the folder that holds the "profile" folder; for a multi-user
                                    // Opera 10 to 12, the profile folder itself
    std::wstring mainConfigPath;    // ...\profile\opera6.ini, or the operaprefs.ini read
    std::wstring menuConfig;
    std::wstring toolbarConfig;
    std::wstring keyboardConfig;
    std::wstring userJavaScriptDir; // "User JavaScript File", as it stands in the file
    std::wstring userStylesDir;     // styles\user in the profile folder
    std::wstring pluginsDir;        // ...\program\plugins\ (with its trailing backslash)
    std::wstring mouseConfig;
    std::wstring messages;          // each text followed by "\n"

    const CLastError& Error() const { return error_; }

private:
    // The routes of FindUserJavaScript for one installation folder, Init's without its checks
    // and its Reset. The two later ones change no field when they have no new file to try.
    bool InitOpera9(const std::wstring& installDirectory);
    void InitOpera9Named(const std::wstring& installDirectory);
    void InitOpera10(const std::wstring& installDirectory);
    // Reads the main configuration file of that name in Opera's profile folder into the fields
    // (messages tells when it cannot).
    bool ReadMainConfig(const std::wstring& profileDir, const wchar_t* fileName);
    // Every field but messages.
    void ResetFields();

    CLastError error_;
};
