// The settings and preferences parser on any bytes, opened every way the program opens such a
// file: lookups answer from the records; an unchanged save reads back as the same records; an
// edited value reads back; a save whose write, flush or rename fails leaves the old file whole.
//
// Input: choices (bit 0 code page 936; bits 1-2 how it is opened: as UTF-16, as the code page, in
// its own encoding, from lines; bits 3-4 the failing call of the edited save: none, write, flush,
// rename), then the file's bytes, then the section, the key and the value to set (UTF-16 LE).
#include <windows.h>

#include <algorithm>

#include "support/Charset.h"
#include "profile/ProfileCFile.h"
#include "tests/fuzz/FuzzInput.h"

using fuzz_layer::Op;

namespace {

const std::wstring kPath = std::wstring(fuzz_layer::kFolder) + L"autorender_in_ie.ini";

enum class How { Utf16, Ansi, ItsEncoding, Lines };

bool Open(CProfileCFile& profile, How how, const std::string& bytes)
{
    switch (how) {
    case How::Utf16: return profile.Open(kPath, true);
    case How::Ansi: return profile.Open(kPath, false);
    case How::ItsEncoding: return profile.OpenInItsEncoding(kPath);
    case How::Lines: {
        // As the Opera reader hands its lines over: UTF-8 lines of the file, split at LF.
        StringList lines;
        size_t start = 0;
        while (start <= bytes.size()) {
            size_t end = bytes.find('\n', start);
            if (end == std::string::npos) end = bytes.size();
            lines.push_back(Utf8ToWide(bytes.substr(start, end - start)));
            start = end + 1;
        }
        return profile.OpenFromLines(lines);
    }
    }
    return false;
}

StringList LinesOf(const CProfileCFile& profile)
{
    StringList lines;
    profile.GetLines(lines);
    return lines;
}

bool SameRecords(const CProfileCFile& a, const CProfileCFile& b)
{
    const ProfileLines& x = a.GetRecords();
    const ProfileLines& y = b.GetRecords();
    if (x.size() != y.size() || LinesOf(a) != LinesOf(b)) return false;
    for (size_t i = 0; i < x.size(); ++i) {
        if (x[i].line != y[i].line || x[i].section != y[i].section || x[i].key != y[i].key || x[i].value != y[i].value) {
            return false;
        }
    }
    return true;
}

std::wstring Trimmed(std::wstring text)
{
    TrimChar(text, L' ');
    return text;
}

// A name that the parser reads back as itself: not empty, no space at either end, no line break,
// and for a key no "=" and no ";" or "[" first.
bool ReadsBackAsName(const std::wstring& name, bool key)
{
    if (name.empty() || name != Trimmed(name)) return false;
    for (wchar_t unit : name) {
        if (EndsFileLine(unit) || (key && unit == L'=')) return false;
    }
    return !key || (name[0] != L';' && name[0] != L'[');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzInput input(data, size);
    const How how = static_cast<How>(input.Choices() & 3);
    const unsigned failingChoice = (input.Choices() >> 2) & 3;
    const std::string& file = input.Bytes(0);

    fuzz_layer::ResetFiles();
    fuzz_layer::PutFile(kPath, file);
    CProfileCFile profile;
    if (!Open(profile, how, file)) Broken("a settings file in memory cannot be opened");
    if (fuzz_layer::OpenHandles() != 0) Broken("opening left a handle open");

    // Every lookup answers from the records: the first key line of the first block of a section.
    const ProfileLines records = profile.GetRecords();
    std::wstring section;  // the section of the record, for the first header of each name
    for (size_t i = 0; i < records.size(); ++i) {
        const ProfileLine& record = records[i];
        if (record.IsSection()) section = record.section;
        if (!record.IsKey()) continue;
        // Not found when the default comes back, whichever it is.
        if (profile.GetString(L"", record.key, L"\x1") == L"\x1" && profile.GetString(L"", record.key, L"\x2") == L"\x2") {
            Broken("a key of the file is not found");
        }
        profile.GetInt(section, record.key, 7);
    }
    SectionIterator it;
    profile.FirstSection(it);
    size_t sections = 0;
    while (!it.end) {
        ProfileLines entries;
        profile.GetSection(profile.NextSection(it), entries);
        if (++sections > records.size()) Broken("the sections never end");
    }

    // Unchanged, saved and opened again the same way: the same records, and the same bytes saved.
    if (how != How::Lines) {
        if (!profile.Save()) Broken("an unchanged save failed");
        std::string saved;
        fuzz_layer::GetFile(kPath, saved);
        CProfileCFile again;
        if (!Open(again, how, saved)) Broken("a saved settings file cannot be opened");
        if (!SameRecords(profile, again)) {
            Broken("an unchanged save does not read back as the same records", Shown(file) + "\nsaved " + Shown(saved));
        }
        if (!again.Save()) Broken("a second unchanged save failed");
        std::string savedAgain;
        fuzz_layer::GetFile(kPath, savedAgain);
        if (savedAgain != saved) Broken("a second unchanged save wrote other bytes", Shown(saved) + "\n" + Shown(savedAgain));
    }

    // An edited value reads back (trimmed, as the parser reads every value).
    const std::wstring newSection = input.Units(1);
    const std::wstring key = input.Units(2);
    const std::wstring value = input.Units(3);
    auto breaks = [](const std::wstring& text) {
        return std::any_of(text.begin(), text.end(), [](wchar_t unit) { return EndsFileLine(unit); });
    };
    const bool storable = !newSection.empty() && !key.empty() && !breaks(newSection) && !breaks(key) && !breaks(value);
    const bool set = profile.SetString(newSection, key, value);
    if (set != storable) Broken(set ? "SetString took a line break or an empty name" : "SetString refused a value");
    if (!set) return 0;
    if (!ReadsBackAsName(newSection, false) || !ReadsBackAsName(key, true)) return 0;
    if (profile.GetString(newSection, key, std::wstring()) != value) Broken("a value set is not what GetString gives");
    if (how == How::Lines) return 0;
    std::string lost;
    if (how == How::Ansi && !EncodeTextExactly(newSection + key + value, TextEncoding::Ansi, lost)) return 0;

    std::string before;
    fuzz_layer::GetFile(kPath, before);
    const Op failing = failingChoice == 1 ? Op::Write : failingChoice == 2 ? Op::Flush : Op::Rename;
    if (failingChoice != 0) fuzz_layer::FailFrom(failing, 0);
    const bool saved = profile.Save();
    if (failingChoice != 0) fuzz_layer::FailFrom(failing, -1);
    if (fuzz_layer::FileNames().size() != 1 || fuzz_layer::OpenHandles() != 0) {
        Broken("a save left a file or a handle behind");
    }
    std::string after;
    fuzz_layer::GetFile(kPath, after);
    if (failingChoice != 0) {
        if (saved) Broken("a save succeeded although a write of it failed");
        if (after != before) Broken("a failed save changed the file");
        return 0;
    }
    if (!saved) Broken("an edited save failed");
    CProfileCFile back;
    if (!Open(back, how, after)) Broken("a saved settings file cannot be opened");
    if (back.GetString(newSection, key, std::wstring()) != Trimmed(value)) {
        Broken("an edited value does not read back",
               Shown(newSection) + " " + Shown(key) + " = " + Shown(value) + "\nsaved " + Shown(after));
    }
    return 0;
}
