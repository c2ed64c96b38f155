// Kills the real program in the middle of its save, again and again, and counts the trials after
// which the script's name holds neither the whole old nor the whole new content: a save may fail,
// but it may never leave the user without the script.
//
//   save_kill_trials MORVANTI_EXE TRIALS [PATTERNS [WAY]]      WAY: rename (the default) or in-place
//
// A folder of its own (in the temporary folder) gets a copy of the program, a settings file
// beside it naming a script there, and the script: PATTERNS include patterns (300,000 by
// default), an exclude block and as many lines of code. Undisturbed runs of the quick add measure
// the two parts of its save: writing the new file beside the script (from its appearance until
// it has all its bytes), then flushing it and putting it in the script's place (until the script
// has the new content). Each trial writes the old script again, starts the quick add, waits for
// the start of one part (every other trial the second) and kills the process (TerminateProcess)
// at a random moment of that part. A Linux path to the program (as CTest passes it under Wine) is
// taken through drive Z:.
//
// In place: the script has a second name in its folder (a hard link), so the program writes it in
// place under a journal beside it. The undisturbed runs then measure writing the journal (from its
// appearance until it holds the old bytes) and writing the script in place, flushing it and
// removing the journal (until the journal is gone). A kill may leave the script half written with
// the journal beside it: the next start of the program must put the old content back before it
// reads the script. So after each kill a quick add of a second address runs to its end, and the
// script must then hold the whole old or the whole new content with that address added, under
// both of its names.
//
// Prints the trials, how many ended with the old and with the new content, and how many lost the
// script (no file under its name, or other bytes); exits with 1 when any did, or when the quick
// add after the last kill does not get its turn at once.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

const wchar_t kAddress[] = L"http://killed.example.net/";
// What the start after a kill adds, in place.
const wchar_t kNextAddress[] = L"http://next.example.net/";

enum class Way { Rename, InPlace };

double Now()
{
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring WindowsPath(const std::wstring& path)
{
    if (path.empty() || path[0] != L'/') return path;
    std::wstring windows = L"Z:" + path;
    for (wchar_t& c : windows) {
        if (c == L'/') c = L'\\';
    }
    return windows;
}

bool WriteAll(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    return CloseHandle(h) && ok;
}

// False when there is no file under that name.
bool ReadAll(const std::wstring& path, std::string& bytes)
{
    bytes.clear();
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    GetFileSizeEx(h, &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    const bool ok = bytes.empty() || (ReadFile(h, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) &&
                                      got == bytes.size());
    CloseHandle(h);
    if (!ok) bytes = "(unreadable)";
    return true;
}

// The script after the quick adds of addresses (none: as it starts): each becomes the last include
// pattern.
std::string MakeScript(int patterns, const std::vector<std::wstring>& addresses)
{
    std::string script = "// ==UserScript==\r\n// @name Autorender in IE\r\n";
    script.reserve(static_cast<size_t>(patterns) * 110);
    char line[160];
    for (int i = 0; i < patterns; ++i) {
        snprintf(line, sizeof line, "//@include http://site%d.example.com/*\r\n", i);
        script += line;
    }
    for (const std::wstring& address : addresses) script += "//@include " + std::string(address.begin(), address.end()) + "\r\n";
    for (int i = 0; i < patterns / 10 + 1; ++i) {
        snprintf(line, sizeof line, "//@exclude http://plain%d.example.org/\r\n", i);
        script += line;
    }
    script += "// ==/UserScript==\r\n\r\n";
    for (int i = 0; i < patterns; ++i) {
        snprintf(line, sizeof line, "    if (u.indexOf('x%d') >= 0) { opera.render(%d); }\r\n", i, i);
        script += line;
    }
    return script;
}

// The files the program's saves (and a platform's own replace) make beside the script: the
// rename's new file, or the in-place write's journal.
std::vector<std::wstring> SaveFilesIn(const std::wstring& folder, Way way)
{
    std::vector<std::wstring> found;
    const std::vector<const wchar_t*> patterns =
        way == Way::Rename ? std::vector<const wchar_t*>{L"~mv*.tmp", L"rf*.tmp"}
                           : std::vector<const wchar_t*>{L"Morvanti.*.journal"};
    for (const wchar_t* pattern : patterns) {
        WIN32_FIND_DATAW data = {};
        HANDLE search = FindFirstFileW((folder + pattern).c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) continue;
        do {
            found.push_back(folder + data.cFileName);
        } while (FindNextFileW(search, &data));
        FindClose(search);
    }
    return found;
}

struct Folder {
    std::wstring path;       // ends in a backslash
    std::wstring exe;
    std::wstring script;
    std::wstring secondName; // in place: the script's other name
    Way way = Way::Rename;
};

bool Prepare(const std::wstring& source, Folder& folder)
{
    wchar_t temp[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH, temp) == 0) return false;
    folder.path = std::wstring(temp) + L"morvanti-kill-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    if (!CreateDirectoryW(folder.path.c_str(), nullptr)) return false;
    folder.exe = folder.path + L"morvanti.exe";
    folder.script = folder.path + L"Autorender in IE.js";
    folder.secondName = folder.path + L"shared copy.js";
    if (!CopyFileW(source.c_str(), folder.exe.c_str(), FALSE)) return false;
    // The settings file as the program reads it: UTF-16 LE, CR LF.
    const std::wstring settings = L"[AutoRenderInIE]\r\nScriptPath=" + folder.script + L"\r\n";
    return WriteAll(folder.path + L"autorender_in_ie.ini",
                    std::string(reinterpret_cast<const char*>(settings.data()), settings.size() * sizeof(wchar_t)));
}

void RemoveFolder(const Folder& folder)
{
    for (Way way : {Way::Rename, Way::InPlace}) {
        for (const std::wstring& file : SaveFilesIn(folder.path, way)) DeleteFileW(file.c_str());
    }
    DeleteFileW(folder.script.c_str());
    DeleteFileW(folder.secondName.c_str());
    DeleteFileW(folder.exe.c_str());
    DeleteFileW((folder.path + L"autorender_in_ie.ini").c_str());
    DeleteFileW((folder.path + L"Morvanti.lock").c_str());  // where the program takes its turn
    RemoveDirectoryW(folder.path.c_str());
}

// Starts the program's quick add of address on the script as it is; says why not.
bool StartQuickAdd(const Folder& folder, const wchar_t* address, PROCESS_INFORMATION& process)
{
    std::wstring commandLine = L"\"" + folder.exe + L"\" " + address;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(folder.exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.path.c_str(),
                        &startup, &process)) {
        fwprintf(stderr, L"cannot start the quick add (error %lu)\n", GetLastError());
        return false;
    }
    return true;
}

// Puts script in the folder's script (the same file, so a second name stays one) and starts the
// quick add of kAddress on it.
bool StartQuickAdd(const Folder& folder, const std::string& script, PROCESS_INFORMATION& process)
{
    if (!WriteAll(folder.script, script)) {
        fwprintf(stderr, L"cannot write the script (error %lu)\n", GetLastError());
        return false;
    }
    if (folder.way == Way::InPlace && GetFileAttributesW(folder.secondName.c_str()) == INVALID_FILE_ATTRIBUTES &&
        !CreateHardLinkW(folder.secondName.c_str(), folder.script.c_str(), nullptr)) {
        fwprintf(stderr, L"cannot give the script a second name (error %lu)\n", GetLastError());
        return false;
    }
    return StartQuickAdd(folder, kAddress, process);
}

// How many names the file has; 0 when it cannot be asked.
DWORD NamesOf(const std::wstring& path)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    const bool ok = GetFileInformationByHandle(h, &info) != FALSE;
    CloseHandle(h);
    return ok ? info.nNumberOfLinks : 0;
}

void EndProcess(PROCESS_INFORMATION& process)
{
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

// Waits until a save file (the way's) appears beside the script and gives its path; false when the
// process ends first or nothing appears within the limit.
bool WaitForSaveStart(const Folder& folder, const PROCESS_INFORMATION& process, double limitSeconds,
                      std::wstring& saveFile)
{
    const double start = Now();
    while (Now() - start < limitSeconds) {
        const std::vector<std::wstring> found = SaveFilesIn(folder.path, folder.way);
        if (!found.empty()) {
            saveFile = found.front();
            return true;
        }
        // A millisecond between looks: every look is a request to the same server as the save's.
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) return false;
    }
    return false;
}

uint64_t SizeOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return UINT64_MAX;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Waits until the file holds size bytes (at least size, with atLeast); false on timeout.
bool WaitForSize(const std::wstring& path, size_t size, double limitSeconds, bool atLeast = false)
{
    const double start = Now();
    while (Now() - start < limitSeconds) {
        const uint64_t now = SizeOf(path);
        if (now == size || (atLeast && now != UINT64_MAX && now >= size)) return true;
        Sleep(1);
    }
    return false;
}

bool WaitForGone(const std::wstring& path, double limitSeconds)
{
    const double start = Now();
    while (Now() - start < limitSeconds) {
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
        Sleep(1);
    }
    return false;
}

// Where an undisturbed save is in its two parts: the save file written (rename: the new file has
// all its bytes; in place: the journal holds the old bytes), then the save done (rename: the script
// has the new content; in place: the journal is gone).
bool WaitForWritten(const Folder& folder, const std::wstring& saveFile, const std::string& before,
                    const std::string& after)
{
    return folder.way == Way::Rename ? WaitForSize(saveFile, after.size(), 60)
                                     : WaitForSize(saveFile, before.size(), 60, true);
}

bool WaitForDone(const Folder& folder, const std::wstring& saveFile, const std::string& after)
{
    return folder.way == Way::Rename ? WaitForSize(folder.script, after.size(), 60) : WaitForGone(saveFile, 60);
}

// In place, the start after a kill: a quick add of kNextAddress, run until the script holds one of
// the two contents it may end with and no journal is left (or a minute has gone).
void RunNextStart(const Folder& folder, const std::string& oldNext, const std::string& newNext)
{
    PROCESS_INFORMATION process = {};
    if (!StartQuickAdd(folder, kNextAddress, process)) return;
    const double start = Now();
    while (Now() - start < 60) {
        const uint64_t size = SizeOf(folder.script);
        if ((size == oldNext.size() || size == newNext.size()) && SaveFilesIn(folder.path, folder.way).empty()) break;
        if (WaitForSingleObject(process.hProcess, 5) == WAIT_OBJECT_0) break;
    }
    EndProcess(process);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        fwprintf(stderr, L"usage: save_kill_trials MORVANTI_EXE TRIALS [PATTERNS [rename|in-place]]\n");
        return 2;
    }
    const int trials = _wtoi(argv[2]);
    const int patterns = argc > 3 ? _wtoi(argv[3]) : 300000;
    Folder folder;
    folder.way = argc > 4 && std::wstring(argv[4]) == L"in-place" ? Way::InPlace : Way::Rename;
    const bool inPlace = folder.way == Way::InPlace;
    const std::string before = MakeScript(patterns, {});
    const std::string after = MakeScript(patterns, {kAddress});
    // In place, what the start after a kill leaves: the old or the new content, with its address.
    const std::string oldNext = inPlace ? MakeScript(patterns, {kNextAddress}) : std::string();
    const std::string newNext = inPlace ? MakeScript(patterns, {kAddress, kNextAddress}) : std::string();
    if (!Prepare(WindowsPath(argv[1]), folder)) {
        fwprintf(stderr, L"cannot prepare the folder (error %lu)\n", GetLastError());
        return 2;
    }

    // How long the two parts of the save take (the longest of three undisturbed runs): rename,
    // writing the new file (from its appearance until it has all its bytes), then flushing it and
    // putting it in the script's place (until the script has the new content); in place, writing
    // the journal, then writing the script and removing the journal.
    double writeSeconds = 0;
    double finishSeconds = 0;
    for (int run = 0; run < 3; ++run) {
        PROCESS_INFORMATION process = {};
        if (!StartQuickAdd(folder, before, process)) {
            RemoveFolder(folder);
            return 2;
        }
        std::wstring saveFile;
        const bool started = WaitForSaveStart(folder, process, 60, saveFile);
        const double startedAt = Now();
        const bool written = started && WaitForWritten(folder, saveFile, before, after);
        const double writtenAt = Now();
        const bool done = written && WaitForDone(folder, saveFile, after);
        const double doneAt = Now();
        EndProcess(process);
        std::string got;
        if (!done || !ReadAll(folder.script, got) || got != after) {
            fwprintf(stderr, L"the undisturbed quick add did not save the script\n");
            RemoveFolder(folder);
            return 2;
        }
        writeSeconds = std::max(writeSeconds, writtenAt - startedAt);
        finishSeconds = std::max(finishSeconds, doneAt - writtenAt);
    }
    wprintf(inPlace ? L"script of %d patterns (%zu bytes), written in place: the journal takes %.0f ms, then the "
                      L"script is written and the journal removed in %.0f ms\n"
                    : L"script of %d patterns (%zu bytes); the save writes for %.0f ms, then flushes and replaces for "
                      L"%.0f ms\n",
            patterns, before.size(), writeSeconds * 1000, finishSeconds * 1000);

    // A third of the kills fall at a random moment of the first part, a third at one of the
    // second part (and a little beyond it), a third within a few milliseconds of the moment the
    // script's name changes hands (in place: the journal goes), as far as the trials so far tell
    // it: that step is short, and not left to a few lucky trials.
    std::mt19937 random(static_cast<unsigned>(GetTickCount()));
    std::uniform_real_distribution<double> duringWrite(0, writeSeconds);
    std::uniform_real_distribution<double> duringFinish(0, finishSeconds * 1.2);
    std::uniform_real_distribution<double> nearChange(-0.004, 0.004);
    double change = finishSeconds * 0.9;  // after the new file has its bytes
    int keptOld = 0;
    int gotNew = 0;
    int missing = 0;
    int damaged = 0;
    int notSeen = 0;
    int namesLost = 0;
    for (int trial = 0; trial < trials; ++trial) {
        for (const std::wstring& file : SaveFilesIn(folder.path, folder.way)) DeleteFileW(file.c_str());
        PROCESS_INFORMATION process = {};
        if (!StartQuickAdd(folder, before, process)) {
            RemoveFolder(folder);
            return 2;
        }
        std::wstring saveFile;
        bool seen = WaitForSaveStart(folder, process, 60, saveFile);
        const int part = trial % 3;
        if (seen && part > 0) seen = WaitForWritten(folder, saveFile, before, after);
        const double delay = part == 0   ? duringWrite(random)
                             : part == 1 ? duringFinish(random)
                                         : std::max(0.0, change + nearChange(random));
        const double killAt = Now() + delay;
        while (seen && Now() < killAt) {
        }
        EndProcess(process);
        if (!seen) ++notSeen;
        // In place the script may now be half written: the next start puts it right.
        if (inPlace) RunNextStart(folder, oldNext, newNext);
        std::string got;
        if (!ReadAll(folder.script, got)) {
            ++missing;
        } else if (got == (inPlace ? oldNext : before)) {
            ++keptOld;
            if (part > 0 && delay > change) change += 0.0005;
        } else if (got == (inPlace ? newNext : after)) {
            ++gotNew;
            if (part > 0 && delay < change) change -= 0.0005;
        } else {
            ++damaged;
        }
        if (inPlace && NamesOf(folder.script) != 2) {
            ++namesLost;
            DeleteFileW(folder.secondName.c_str());
        }
    }
    // Every kill fell while the save held its turn, and the system let that go with the process:
    // the next quick add starts its save at once, not after the ten seconds a turn is waited for.
    for (const std::wstring& file : SaveFilesIn(folder.path, folder.way)) DeleteFileW(file.c_str());
    PROCESS_INFORMATION next = {};
    std::wstring saveFile;
    const bool turnFree = StartQuickAdd(folder, before, next) && WaitForSaveStart(folder, next, 5, saveFile);
    if (next.hProcess != nullptr) EndProcess(next);
    RemoveFolder(folder);
    const int lost = missing + damaged + namesLost;
    wprintf(L"trials=%d old=%d new=%d lost=%d (no script %d, other bytes %d", trials, keptOld, gotNew, lost, missing,
            damaged);
    if (inPlace) wprintf(L", a name lost %d", namesLost);
    wprintf(L")");
    if (notSeen > 0) wprintf(L"; %d saves not seen in time", notSeen);
    if (!turnFree) wprintf(L"; a killed save left its turn taken");
    wprintf(L"\n");
    return lost == 0 && turnFree ? 0 : 1;
}
