// Kills the real program in the middle of its save, again and again, and counts the trials after
// which the script's name holds neither the whole old nor the whole new content: a save may fail,
// but it may never leave the user without the script.
//
//   save_kill_trials MORVANTI_EXE TRIALS [PATTERNS]
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

// The script before and after the quick add of kAddress: it becomes the last include pattern.
void MakeScripts(int patterns, std::string& before, std::string& after)
{
    std::string head = "// ==UserScript==\r\n// @name Autorender in IE\r\n";
    std::string includes;
    includes.reserve(static_cast<size_t>(patterns) * 48);
    char line[160];
    for (int i = 0; i < patterns; ++i) {
        snprintf(line, sizeof line, "//@include http://site%d.example.com/*\r\n", i);
        includes += line;
    }
    std::string rest;
    for (int i = 0; i < patterns / 10 + 1; ++i) {
        snprintf(line, sizeof line, "//@exclude http://plain%d.example.org/\r\n", i);
        rest += line;
    }
    rest += "// ==/UserScript==\r\n\r\n";
    for (int i = 0; i < patterns; ++i) {
        snprintf(line, sizeof line, "    if (u.indexOf('x%d') >= 0) { opera.render(%d); }\r\n", i, i);
        rest += line;
    }
    before = head + includes + rest;
    after = head + includes + "//@include http://killed.example.net/\r\n" + rest;
}

// The names the program's saves (and a platform's own replace) leave beside the script.
std::vector<std::wstring> SaveFilesIn(const std::wstring& folder)
{
    std::vector<std::wstring> found;
    for (const wchar_t* pattern : {L"~mv*.tmp", L"rf*.tmp"}) {
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
};

bool Prepare(const std::wstring& source, Folder& folder)
{
    wchar_t temp[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH, temp) == 0) return false;
    folder.path = std::wstring(temp) + L"morvanti-kill-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    if (!CreateDirectoryW(folder.path.c_str(), nullptr)) return false;
    folder.exe = folder.path + L"morvanti.exe";
    folder.script = folder.path + L"Autorender in IE.js";
    if (!CopyFileW(source.c_str(), folder.exe.c_str(), FALSE)) return false;
    // The settings file as the program reads it: UTF-16 LE, CR LF.
    const std::wstring settings = L"[AutoRenderInIE]\r\nScriptPath=" + folder.script + L"\r\n";
    return WriteAll(folder.path + L"autorender_in_ie.ini",
                    std::string(reinterpret_cast<const char*>(settings.data()), settings.size() * sizeof(wchar_t)));
}

void RemoveFolder(const Folder& folder)
{
    for (const std::wstring& file : SaveFilesIn(folder.path)) DeleteFileW(file.c_str());
    DeleteFileW(folder.script.c_str());
    DeleteFileW(folder.exe.c_str());
    DeleteFileW((folder.path + L"autorender_in_ie.ini").c_str());
    DeleteFileW((folder.path + L"Morvanti.lock").c_str());  // where the program takes its turn
    RemoveDirectoryW(folder.path.c_str());
}

// Puts script in the folder's script and starts the program's quick add on it; says why not.
bool StartQuickAdd(const Folder& folder, const std::string& script, PROCESS_INFORMATION& process)
{
    std::wstring commandLine = L"\"" + folder.exe + L"\" " + kAddress;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!WriteAll(folder.script, script) ||
        !CreateProcessW(folder.exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.path.c_str(), &startup, &process)) {
        fwprintf(stderr, L"cannot start the quick add (error %lu)\n", GetLastError());
        return false;
    }
    return true;
}

void EndProcess(PROCESS_INFORMATION& process)
{
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

// Waits until a save file appears beside the script and gives its path; false when the process
// ends first or nothing appears within the limit.
bool WaitForSaveStart(const Folder& folder, const PROCESS_INFORMATION& process, double limitSeconds,
                      std::wstring& saveFile)
{
    const double start = Now();
    while (Now() - start < limitSeconds) {
        const std::vector<std::wstring> found = SaveFilesIn(folder.path);
        if (!found.empty()) {
            saveFile = found.front();
            return true;
        }
        // A millisecond between looks: every look is a request to the same server as the save's.
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) return false;
    }
    return false;
}

// Waits until the file holds size bytes; false on timeout.
bool WaitForSize(const std::wstring& path, size_t size, double limitSeconds)
{
    const double start = Now();
    while (Now() - start < limitSeconds) {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
            ((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) == size) {
            return true;
        }
        Sleep(1);
    }
    return false;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        fwprintf(stderr, L"usage: save_kill_trials MORVANTI_EXE TRIALS [PATTERNS]\n");
        return 2;
    }
    const int trials = _wtoi(argv[2]);
    const int patterns = argc > 3 ? _wtoi(argv[3]) : 300000;
    std::string before;
    std::string after;
    MakeScripts(patterns, before, after);
    Folder folder;
    if (!Prepare(WindowsPath(argv[1]), folder)) {
        fwprintf(stderr, L"cannot prepare the folder (error %lu)\n", GetLastError());
        return 2;
    }

    // How long the two parts of the save take: writing the new file (from its appearance until it
    // has all its bytes), and flushing it and putting it in the script's place (until the script
    // has the new content); the longest of three undisturbed runs.
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
        const bool written = started && WaitForSize(saveFile, after.size(), 60);
        const double writtenAt = Now();
        const bool done = written && WaitForSize(folder.script, after.size(), 60);
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
    wprintf(L"script of %d patterns (%zu bytes); the save writes for %.0f ms, then flushes and replaces for %.0f ms\n",
            patterns, before.size(), writeSeconds * 1000, finishSeconds * 1000);

    // A third of the kills fall at a random moment while the new file is written, a third at one
    // of the second part (and a little beyond it), a third within a few milliseconds of the moment
    // the script's name changes hands, as far as the trials so far tell it: the step where the old
    // file gives way to the new one is short, and not left to a few lucky trials.
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
    for (int trial = 0; trial < trials; ++trial) {
        for (const std::wstring& file : SaveFilesIn(folder.path)) DeleteFileW(file.c_str());
        PROCESS_INFORMATION process = {};
        if (!StartQuickAdd(folder, before, process)) {
            RemoveFolder(folder);
            return 2;
        }
        std::wstring saveFile;
        bool seen = WaitForSaveStart(folder, process, 60, saveFile);
        const int part = trial % 3;
        if (seen && part > 0) seen = WaitForSize(saveFile, after.size(), 60);
        const double delay = part == 0   ? duringWrite(random)
                             : part == 1 ? duringFinish(random)
                                         : std::max(0.0, change + nearChange(random));
        const double killAt = Now() + delay;
        while (seen && Now() < killAt) {
        }
        EndProcess(process);
        if (!seen) ++notSeen;
        std::string got;
        if (!ReadAll(folder.script, got)) {
            ++missing;
        } else if (got == before) {
            ++keptOld;
            if (part > 0 && delay > change) change += 0.0005;
        } else if (got == after) {
            ++gotNew;
            if (part > 0 && delay < change) change -= 0.0005;
        } else {
            ++damaged;
        }
    }
    // Every kill fell while the save held its turn, and the system let that go with the process:
    // the next quick add starts its save at once, not after the ten seconds a turn is waited for.
    for (const std::wstring& file : SaveFilesIn(folder.path)) DeleteFileW(file.c_str());
    PROCESS_INFORMATION next = {};
    std::wstring saveFile;
    const bool turnFree = StartQuickAdd(folder, before, next) && WaitForSaveStart(folder, next, 5, saveFile);
    if (next.hProcess != nullptr) EndProcess(next);
    RemoveFolder(folder);
    const int lost = missing + damaged;
    wprintf(L"trials=%d old=%d new=%d lost=%d (no script %d, other bytes %d)", trials, keptOld, gotNew, lost,
            missing, damaged);
    if (notSeen > 0) wprintf(L"; %d saves not seen in time", notSeen);
    if (!turnFree) wprintf(L"; a killed save left its turn taken");
    wprintf(L"\n");
    return lost == 0 && turnFree ? 0 : 1;
}
