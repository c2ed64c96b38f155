#pragma once
// The files that saves make beside the file they save, and the removal of the ones that saves
// cut short left behind.
//
// A save writes the new content to a file named "~mvt", eight uppercase hexadecimal digits and
// ".tmp" (earlier versions also moved the old file to a "~mvb" name of the same form while
// ReplaceFileW put the new one in its place): 16 characters, shorter than the script's own
// default name, so they fit in every folder where such a script fits. The digits are the time
// the file was made, in seconds since 1970 (UTC), or a few seconds later when that name was
// taken, so that a leftover's age can be told from its name alone.

#include <cstdint>
#include <string>

// The current time as a save file's name holds it: seconds since 1970 (UTC).
uint32_t SaveFileTimeNow();

// The path of the save file of that number in folder (a full path ending in a backslash); in the
// "\\?\" (or "\\?\UNC\") form where the plain path would reach MAX_PATH.
std::wstring SaveFilePath(const std::wstring& folder, uint32_t number);

// The save files that interrupted saves left in one folder.
class CSaveLeftovers {
public:
    // A save file whose name is this old belongs to no save in progress: a save takes well under
    // a second, and one that waits for its turn at the script waits ten seconds at most.
    static const uint32_t kAgeSeconds = 10 * 60;

    // folder: a full path ending in a backslash.
    explicit CSaveLeftovers(const std::wstring& folder) : folder_(folder) {}

    // True when name is a save file's ("~mvt" or "~mvb" names, letters in any case, as file names
    // compare); seconds gets the time its digits hold.
    static bool ReadName(const std::wstring& name, uint32_t& seconds);

    // Removes the save files whose names are kAgeSeconds old or more. Their age is read from
    // their names alone: a backup of an earlier version kept the replaced file's time stamps, so
    // by its own times it could look hours old while a save still needed it. A file still open
    // cannot be deleted and stays; so does anything that is not plainly a save file (a folder, a
    // read-only file, a link). Nothing here fails: what cannot go now goes at a later save.
    void RemoveOld() const;

private:
    std::wstring folder_;
};
