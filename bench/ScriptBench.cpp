// Cost of the script model's read-edit-write cycle against a raw read and write of the same
// bytes, for scripts with 1,000, 100,000 and 1,000,000 include patterns.
//
//   script_bench [folder]     (default: the temporary folder)
//
// Prints one row per size, where the time of a cycle goes at 100,000 patterns (and what the
// model's form alone costs there, beyond the raw copy: see TimeDesignFloor), the quick add's
// whole edit against a bare program that reads the script and renames a new file over it (see
// PrintEditCosts), and a last line "ratio_100k=R scaling_1m=S memory_100k=M
// memory_100k_nonascii=N edit_ratio_100k=E in_place_ratio_100k=P": R is the cycle's time over
// the raw copy's at 100,000 patterns, S the time per pattern at 1,000,000 over that at 100,000
// (1.0 means linear), M the peak working set of a quick add on the 100,000-pattern script over
// that on a tiny script, per byte of the script, N the same for a script whose every pattern
// holds a Chinese word (UTF-8), E the edit's time over the bare program's at 100,000 patterns,
// and P the same for a script that the edit writes in place (it has a second name).
//
// Each peak is taken as the program takes its quick add: a copy of this benchmark in a folder of
// its own, beside a settings file that names the script, runs the program's AddURLtoInlcude in a
// process of its own and reports its peak working set.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "script/AutoRender.h"
#include "script/ScriptLocation.h"
#include "textio/TextStream.h"

namespace {

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A script of that many include patterns, a tenth as many exclude patterns and as many lines
// of code. With word (UTF-8 bytes), every include pattern holds it.
std::string MakeScript(int patterns, const char* word = "")
{
    std::string s;
    s.reserve(static_cast<size_t>(patterns) * 100);
    s += "// ==UserScript==\r\n// @name Autorender in IE\r\n";
    char line[160];
    for (int i = 0; i < patterns; ++i) {
        snprintf(line, sizeof line, "//@include http://site%d.example.com/%s*\r\n", i, word);
        s += line;
    }
    for (int i = 0; i < patterns / 10 + 1; ++i) {
        snprintf(line, sizeof line, "//@exclude http://plain%d.example.org/\r\n", i);
        s += line;
    }
    s += "// ==/UserScript==\r\n\r\n";
    for (int i = 0; i < patterns; ++i) {
        snprintf(line, sizeof line, "    if (u.indexOf('x%d') >= 0) { opera.render(%d); }\r\n", i, i);
        s += line;
    }
    return s;
}

// "新闻/" (news) in UTF-8.
const char kChineseWord[] = "\xE6\x96\xB0\xE9\x97\xBB/";

bool WriteAll(const std::wstring& path, const std::string& bytes, bool flush)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    if (flush) ok = ok && FlushFileBuffers(h);
    CloseHandle(h);
    return ok;
}

bool ReadAll(const std::wstring& path, std::string& bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    GetFileSizeEx(h, &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    bool ok = ReadFile(h, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) && got == bytes.size();
    CloseHandle(h);
    return ok;
}

struct Row {
    int patterns;
    size_t bytes;
    double model;
    double raw;
};

// One read-edit-write cycle of the script model on a fresh copy of content; -1 on failure.
double TimeModelCycle(const std::wstring& script, const std::string& content)
{
    if (!WriteAll(script, content, false)) return -1;
    double t0 = Now();
    CAutoRender render;
    if (!render.Init(script)) return -1;
    render.includeText += L"http://added.example.com/";
    if (!render.Save()) return -1;
    return Now() - t0;
}

// A sink that takes every byte and keeps none: what writing the script costs apart from the file.
class NullSink : public CTextStream {
public:
    NullSink()
    {
        Opened(kModeWrite, false);
        SetWriteLimit(64 * 1024);
    }
    ~NullSink() override { FlushWrites(); }
    NullSink(const NullSink&) = delete;
    NullSink& operator=(const NullSink&) = delete;
    bool WriteRaw(const void*, int32_t) override { return true; }
};

// What the model's form asks beyond a raw copy, with nothing parsed, checked or decided: the
// lines that are no pattern copied into fresh storage, the patterns widened into a fresh UTF-16
// text (as the dialog shows them) and narrowed back through a 64 KB block (as a save writes
// them). Where those lines and patterns stand is found before the clock starts, adjacent kept
// lines taken as one run. The seconds it takes; -1 on failure.
double TimeDesignFloor(const std::string& content)
{
    struct Run {
        size_t start;
        size_t count;
    };
    std::vector<Run> keptRuns;
    std::vector<Run> patternRuns;  // each pattern with its CR LF
    size_t keptSize = 0;
    size_t patternSize = 0;
    const size_t kPrefixLength = 11;  // "//@include " and "//@exclude "
    for (size_t pos = 0; pos < content.size();) {
        const size_t next = content.find('\n', pos);
        const size_t end = next == std::string::npos ? content.size() : next + 1;
        if (content.compare(pos, 3, "//@") == 0) {
            patternRuns.push_back({pos + kPrefixLength, end - pos - kPrefixLength});
            patternSize += end - pos - kPrefixLength;
        } else {
            if (!keptRuns.empty() && keptRuns.back().start + keptRuns.back().count == pos) {
                keptRuns.back().count += end - pos;
            } else {
                keptRuns.push_back({pos, end - pos});
            }
            keptSize += end - pos;
        }
        pos = end;
    }
    static char block[64 * 1024];
    unsigned sum = 0;
    const double t0 = Now();
    std::unique_ptr<char[]> kept(new char[keptSize]);
    size_t keptAt = 0;
    for (const Run& run : keptRuns) {
        std::memcpy(kept.get() + keptAt, content.data() + run.start, run.count);
        keptAt += run.count;
    }
    std::wstring patterns(patternSize, L'\0');
    wchar_t* out = &patterns[0];
    for (const Run& run : patternRuns) {
        const unsigned char* in = reinterpret_cast<const unsigned char*>(content.data()) + run.start;
        for (size_t i = 0; i < run.count; ++i) out[i] = in[i];
        out += run.count;
    }
    for (size_t pos = 0; pos < patterns.size();) {
        const size_t count = std::min(patterns.size() - pos, sizeof block);
        for (size_t i = 0; i < count; ++i) block[i] = static_cast<char>(patterns[pos + i]);
        sum += static_cast<unsigned char>(block[count - 1]);
        pos += count;
    }
    const double t1 = Now();
    // The results are looked at, so that none of the work can be left out.
    return sum == 0 || keptAt != keptSize || kept[keptSize - 1] != '\n' ? -1 : t1 - t0;
}

// Where the time of one cycle goes, best of runs: the read (Init), building the new content
// (WriteScript into a sink that keeps nothing), the whole Save (the new file written, flushed
// and put in place), against a raw read and a raw write with flush of the same bytes.
void PrintBreakdown(const std::wstring& script, const std::wstring& copy, const std::string& content, int runs)
{
    double init = 1e30, build = 1e30, save = 1e30, read = 1e30, write = 1e30, floor = 1e30;
    for (int i = 0; i < runs; ++i) {
        if (!WriteAll(script, content, false)) return;
        CAutoRender render;
        double t0 = Now();
        if (!render.Init(script)) return;
        double t1 = Now();
        render.includeText += L"http://added.example.com/";
        {
            NullSink sink;
            if (!render.WriteScript(sink)) return;
        }
        double t2 = Now();
        if (!render.Save()) return;
        double t3 = Now();
        std::string bytes;
        if (!ReadAll(script, bytes)) return;
        double t4 = Now();
        if (!WriteAll(copy, bytes, true)) return;
        double t5 = Now();
        floor = std::min(floor, TimeDesignFloor(content));
        init = std::min(init, t1 - t0);
        build = std::min(build, t2 - t1);
        save = std::min(save, t3 - t2);
        read = std::min(read, t4 - t3);
        write = std::min(write, t5 - t4);
    }
    wprintf(L"breakdown at %u bytes: Init %.1f ms (raw read %.1f ms), building the content %.1f ms, "
            L"Save %.1f ms (raw write with flush %.1f ms); the kept lines copied and the patterns widened and "
            L"narrowed, nothing else: %.1f ms\n",
            static_cast<unsigned>(content.size()), init * 1e3, read * 1e3, build * 1e3, save * 1e3, write * 1e3,
            floor * 1e3);
}

// Best of a few runs: the machine's other work only ever adds time.
double Best(double a, double b) { return (a < 0 || b < 0) ? -1 : (a < b ? a : b); }

// The least a quick add can do that keeps the script whole: read it, write the new bytes to a new
// file beside it, flush that and rename it over the script. The seconds it takes; -1 on failure.
double TimeBareRename(const std::wstring& script, const std::string& content)
{
    if (!WriteAll(script, content, false)) return -1;
    const double t0 = Now();
    std::string bytes;
    if (!ReadAll(script, bytes)) return -1;
    bytes += "//@include http://added.example.com/\r\n";
    const std::wstring fresh = script + L".new";
    if (!WriteAll(fresh, bytes, true) ||
        !MoveFileExW(fresh.c_str(), script.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return -1;
    }
    return Now() - t0;
}

// The program's own edit, as a quick add makes it (CAutoRender::Edit: the turn, the read, one
// address added, the save with its checks); -1 on failure.
double TimeEdit(const std::wstring& script, const std::string& content)
{
    if (!WriteAll(script, content, false)) return -1;
    const double t0 = Now();
    CAutoRender render;
    if (!render.Edit(script, [](CAutoRender& read) { read.includeText += L"http://added.example.com/"; })) return -1;
    return Now() - t0;
}

// The quick add's edit against the bare program, at 1,000 and 100,000 patterns, best of runs; and
// the same edit of a script with a second name, which it writes in place under a journal. Gives
// the two ratios at 100,000 patterns; false on failure.
bool PrintEditCosts(const std::wstring& script, double& editRatio, double& inPlaceRatio)
{
    const std::wstring secondName = script + L" (second name)";
    wprintf(L"%10ls %12ls %12ls %12ls %8ls %14ls %8ls\n", L"patterns", L"bytes", L"bare_ms", L"edit_ms", L"ratio",
            L"in_place_ms", L"ratio");
    for (int patterns : {1000, 100000}) {
        const std::string content = MakeScript(patterns);
        double bare = 1e30, edit = 1e30, inPlace = 1e30;
        for (int i = 0; i < 5; ++i) {
            bare = Best(bare, TimeBareRename(script, content));
            edit = Best(edit, TimeEdit(script, content));
        }
        if (!CreateHardLinkW(secondName.c_str(), script.c_str(), nullptr)) return false;
        for (int i = 0; i < 5; ++i) inPlace = Best(inPlace, TimeEdit(script, content));
        DeleteFileW(secondName.c_str());
        if (bare < 0 || edit < 0 || inPlace < 0) return false;
        wprintf(L"%10d %12u %12.2f %12.2f %8.2f %14.2f %8.2f\n", patterns, static_cast<unsigned>(content.size()),
                bare * 1e3, edit * 1e3, edit / bare, inPlace * 1e3, inPlace / bare);
        editRatio = edit / bare;
        inPlaceRatio = inPlace / bare;
    }
    return true;
}

// The least a rewrite can do: read the bytes and write them to disk again.
double TimeRawCopy(const std::wstring& script, const std::wstring& copy)
{
    double t0 = Now();
    std::string bytes;
    if (!ReadAll(script, bytes) || !WriteAll(copy, bytes, true)) return -1;
    return Now() - t0;
}


// The child's part, run from a copy of the benchmark beside a settings file: the program's own
// quick add, then its peak working set in bytes into report.
int QuickAddPeak(const std::wstring& address, const std::wstring& report)
{
    if (!AddURLtoInlcude(address)) return 2;
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 4;
    const std::string figure = std::to_string(static_cast<unsigned long long>(counters.PeakWorkingSetSize));
    return WriteAll(report, figure, false) ? 0 : 5;
}

// Peak working set of a quick add on a fresh copy of content, in a process of its own started as
// the program would be: a copy of this benchmark in quickAddDir (a folder ending in a backslash)
// beside a settings file naming script. 0 on failure.
double MeasureQuickAddPeak(const std::wstring& quickAddDir, const std::wstring& script, const std::wstring& report,
                           const std::string& content)
{
    wchar_t self[MAX_PATH + 1] = {};
    if (!WriteAll(script, content, false) || GetModuleFileNameW(nullptr, self, MAX_PATH) == 0) return 0;
    CreateDirectoryW(quickAddDir.c_str(), nullptr);
    const std::wstring copy = quickAddDir + L"script_bench.exe";
    if (!CopyFileW(self, copy.c_str(), FALSE)) return 0;
    // The settings file as the program reads it: UTF-16 LE without a mark, CR LF.
    const std::wstring settings = L"[AutoRenderInIE]\r\nScriptPath=" + script + L"\r\n";
    const std::string settingsBytes(reinterpret_cast<const char*>(settings.data()), settings.size() * sizeof(wchar_t));
    if (!WriteAll(quickAddDir + L"autorender_in_ie.ini", settingsBytes, false)) return 0;
    std::wstring commandLine = L"\"" + copy + L"\" --quick-add-peak http://added.example.com/ \"" + report + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(copy.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return 0;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::string figure;
    if (code != 0 || !ReadAll(report, figure)) return 0;
    return std::stod(figure);
}

// What a quick add on the 100,000-pattern script costs in memory, per byte of the script, over
// what it costs on a tiny one (what the program needs anyway); best of three. -1 on failure.
double QuickAddBytesPerByte(const std::wstring& folder, const std::wstring& script, const char* word)
{
    const std::wstring quickAddDir = folder + L"bench-quick-add\\";
    const std::wstring report = folder + L"bench-peak.txt";
    const std::string large = MakeScript(100000, word);
    double tinyPeak = 1e30;
    double largePeak = 1e30;
    for (int i = 0; i < 3; ++i) {
        tinyPeak = std::min(tinyPeak, MeasureQuickAddPeak(quickAddDir, script, report, MakeScript(2, word)));
        largePeak = std::min(largePeak, MeasureQuickAddPeak(quickAddDir, script, report, large));
    }
    DeleteFileW(report.c_str());
    DeleteFileW((quickAddDir + L"autorender_in_ie.ini").c_str());
    DeleteFileW((quickAddDir + L"script_bench.exe").c_str());
    RemoveDirectoryW(quickAddDir.c_str());
    if (tinyPeak <= 0 || largePeak <= 0) return -1;
    wprintf(L"peak working set of a quick add%ls: tiny script %.1f MB, 100,000 patterns (%.1f MB) %.1f MB\n",
            *word != 0 ? L" (patterns with Chinese text)" : L"", tinyPeak / 1e6,
            static_cast<double>(large.size()) / 1e6, largePeak / 1e6);
    return (largePeak - tinyPeak) / static_cast<double>(large.size());
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 4 && std::wstring(argv[1]) == L"--quick-add-peak") return QuickAddPeak(argv[2], argv[3]);

    std::wstring folder;
    if (argc > 1) {
        folder = argv[1];
        if (folder.back() != L'\\') folder += L'\\';
    } else {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, temp);
        folder = temp;
    }
    const std::wstring script = folder + L"bench-Autorender in IE.js";
    const std::wstring copy = folder + L"bench-raw-copy.js";

    std::vector<Row> rows;
    wprintf(L"%10ls %12ls %12ls %12ls %8ls %14ls\n", L"patterns", L"bytes", L"model_ms", L"raw_ms", L"ratio", L"ns_per_pattern");
    for (int patterns : {1000, 100000, 1000000}) {
        const std::string content = MakeScript(patterns);
        const int runs = patterns >= 1000000 ? 3 : 5;
        double model = 1e30, raw = 1e30;
        for (int i = 0; i < runs; ++i) {
            model = Best(model, TimeModelCycle(script, content));
            raw = Best(raw, TimeRawCopy(script, copy));
        }
        if (model < 0 || raw < 0) {
            fwprintf(stderr, L"benchmark failed at %d patterns\n", patterns);
            return 1;
        }
        rows.push_back({patterns, content.size(), model, raw});
        wprintf(L"%10d %12u %12.2f %12.2f %8.2f %14.1f\n", patterns, static_cast<unsigned>(content.size()),
                model * 1e3, raw * 1e3, model / raw, model * 1e9 / patterns);
        fflush(stdout);
    }
    PrintBreakdown(script, copy, MakeScript(100000), 5);
    double editRatio = 0;
    double inPlaceRatio = 0;
    if (!PrintEditCosts(script, editRatio, inPlaceRatio)) {
        fwprintf(stderr, L"the edit's benchmark failed\n");
        return 1;
    }
    // Memory: the peak of a quick add on a tiny script is what the program needs anyway; what
    // the large script adds to it is what it costs.
    const double perByte = QuickAddBytesPerByte(folder, script, "");
    const double perByteNonAscii = QuickAddBytesPerByte(folder, script, kChineseWord);
    if (perByte < 0 || perByteNonAscii < 0) {
        fwprintf(stderr, L"memory measurement failed\n");
        return 1;
    }
    DeleteFileW(script.c_str());
    DeleteFileW(copy.c_str());
    DeleteFileW((folder + L"Morvanti.lock").c_str());
    double perPattern100k = rows[1].model / rows[1].patterns;
    double perPattern1m = rows[2].model / rows[2].patterns;
    wprintf(L"ratio_100k=%.2f scaling_1m=%.2f memory_100k=%.2f memory_100k_nonascii=%.2f edit_ratio_100k=%.2f "
            L"in_place_ratio_100k=%.2f\n",
            rows[1].model / rows[1].raw, perPattern1m / perPattern100k, perByte, perByteNonAscii, editRatio,
            inPlaceRatio);
    return 0;
}
