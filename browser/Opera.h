#pragma once
// Where Opera is installed, where its profile lives (single-user: inside the installation;
// multi-user: in the user's application-data folder) and the few settings of its main
// configuration file that the program uses: "opera6.ini" for Opera 9, "operaprefs.ini" for
// Opera 10 to 12. Opera's registry keys and files are only read, never written, and no folder
// is created.

#include <string>
#include <vector>

#include "support/LastError.h"
#include "support/SystemHelpers.h"
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
    // A value stored as REG_EXPAND_SZ comes expanded, as for the kind of Opera its record names.
    StringList GetInstallDirs();
    // Works out Opera 9's profile from the installation directory and reads its settings as
    // FindUserJavaScript does. False when the directory is empty (then nothing changes) or the
    // user's "opera6.ini" cannot be opened (then the paths are set, the values only those of the
    // installation's files, and messages and Error() tell why).
    bool Init(const std::wstring& installDirectory);
    // Tries each installation folder of GetInstallDirs, and in each, in turn: Opera 9's profile as
    // Init finds it; Opera 9's multi-user profile in the folder named after the installation folder
    // (%APPDATA%\Opera\<name>\profile\); Opera 10 to 12's profile ("operaprefs.ini"). A setting
    // is the first value found in the installation's fixed settings, the user's own file, the
    // defaults, as that Opera sees them. Stops at the first profile that names a user JavaScript
    // folder and returns true, the fields then of that profile, messages and Error() empty.
    // Otherwise false: messages names each user's file that could not be read.
    bool FindUserJavaScript();
    // A file or folder of the profile found (the script in its user JavaScript folder) as that
    // Opera reads it: for an Opera 9 whose files Windows virtualizes (under Program Files or the
    // Windows folder), the user's VirtualStore copy where there is one; otherwise the path itself.
    std::wstring AsOperaSeesIt(const std::wstring& path) const;
    // Empties every field, messages and the error included.
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
    // An installation folder and the kind of Opera in it; a profile an installation may have,
    // with the files that settle its settings; and Opera's files as one discovery reads them,
    // each opened once.
    struct Installation;
    struct Layout;
    class Files;
    // The installation folders GetInstallDirs names, each with its kind: 64-bit where a 64-bit
    // Opera's record names it (its installer writes the registry's 64-bit view, or "Last Install
    // Path x64") or it lies under the 64-bit Program Files.
    static std::vector<Installation> Installations();
    static Installation InstallationAt(const std::wstring& installDirectory, ProgramBits recordedAs);
    // The profiles of one installation, in the order FindUserJavaScript tries them.
    static std::vector<Layout> LayoutsOf(const Installation& installation, Files& files);
    // What reading one profile found: whether the user's own file could be read, and whether
    // the profile names a user JavaScript folder (a fixed or default setting may name it without
    // the user's file).
    struct ProfileRead {
        bool ownFile;
        bool scriptFolder;
    };
    // Sets every field but messages from one profile.
    ProfileRead ReadLayout(const std::wstring& installDirectory, const Layout& layout, Files& files);

    CLastError error_;
    // The profile found is that of a virtualized Opera (AsOperaSeesIt).
    bool virtualized_ = false;
};
