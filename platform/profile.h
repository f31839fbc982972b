// Reading and writing "profile" files: text files of [section] headers and
// key=value lines, as the Windows profile functions keep them.
//
// Section and key names match without regard to ASCII case; blanks (spaces
// and tabs) around names and values are ignored; the first occurrence of a
// key wins (sections that appear twice are searched in file order). Lines end
// in LF or CR LF. Lines starting with ";" or "#" are comments.
//
// Values are kept byte for byte (UTF-8 on Linux); only CR and LF are refused.
#ifndef KELVORA_PLATFORM_PROFILE_H
#define KELVORA_PLATFORM_PROFILE_H

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// The value of `key` in `[section]`, possibly empty; nothing when the file,
// the section or the key is missing, or the file cannot be read.
std::optional<std::string> ReadProfileString(const std::string& file, const std::string& section,
                                             const std::string& key);

// Sets `key` in `[section]`. An existing key has its value replaced in place;
// a new key goes after the last key line of its section; a missing section is
// added at the end of the file, and a missing file is created. Every other
// byte of the file stays as it was, and new lines follow the file's line
// ending style.
//
// The file is replaced as a whole (ReplaceFileAtomically), so it is never
// left half-written; when the value is already there nothing is written. False, with the file untouched, when it cannot
// be read or written, or when a name or value cannot be stored (a value with
// CR or LF, a key with "=", a section with "]", an empty name).
bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value);

// Several keys of one section in one replacement of the file: the same as
// writing them one by one in order, but all or nothing.
using ProfileEntries = std::vector<std::pair<std::string, std::string>>;
bool WriteProfileStrings(const std::string& file, const std::string& section, const ProfileEntries& entries);

// One change for ChangeProfile: `key` in `[section]` set to `value`, or
// deleted when there is no value.
struct ProfileChange {
    std::string section;
    std::string key;
    std::optional<std::string> value;
};

// Several changes to one file in one replacement, made in order, all or
// nothing. Deleting a key removes every line that holds it in every section
// of that name, so that it reads as missing afterwards; the section headers
// stay. When the changes leave the text as it was, the file is not written
// at all (and a missing file is not created). The names and values are
// refused as by WriteProfileString.
bool ChangeProfile(const std::string& file, const std::vector<ProfileChange>& changes);

// Deletes `key` from `[section]`: ChangeProfile with that one change.
bool DeleteProfileKey(const std::string& file, const std::string& section, const std::string& key);

}  // namespace platform

#endif
