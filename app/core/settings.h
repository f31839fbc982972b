// The settings file "zenkari.ini", section "Setting", and the in-memory record.
#ifndef KELVORA_CORE_SETTINGS_H
#define KELVORA_CORE_SETTINGS_H

#include <array>
#include <cstdint>
#include <string>

#include "catalogue.h"

namespace core {

struct Settings {
    float Version = 0;
    uint8_t ExtractNumber = 0;  // 0 desktop, 1 temporary folder, 2 the archive's folder, 3 ExtractDir
    std::string ExtractDir;
    int32_t LeftTwip = 0, TopTwip = 0;
    std::string FileListDir;
    int32_t FilePattern = 0;  // 0..2
    int16_t TurnOver = 0, NoWindow = 0;
    std::array<uint8_t, kCatalogueSize> Assoc{};  // by archiver index; kept for rows with an assoc_key
    // The main window's check boxes, 0 or 1: extract a folder that holds
    // everything without a folder named after the archive around it; open
    // the output after a successful extraction; make a folder named after
    // the archive. These values are also their read and creation defaults.
    int16_t PreventDoubleFolder = 0, OpenAfterExtract = 1, MakeArchiveFolder = 1;
};

// The program's version: major * 100 + minor, and its text "1.03".
inline constexpr int kProgramVersion = 100;
std::string ProgramVersionText();

// Where the file lives: the application folder when it is writable (a
// portable copy), otherwise $XDG_CONFIG_HOME/zenkari/ (default ~/.config/zenkari/).
class SettingsFile {
public:
    // `app_folder` is the folder holding the program, without a trailing "/"
    // except for the root itself.
    explicit SettingsFile(std::string app_folder);

    const std::string& Path() const { return path_; }
    // The folder the file lives in, ending in "/"; the join script goes there too.
    const std::string& Folder() const { return folder_; }
    const std::string& AppFolder() const { return app_folder_; }

    // A missing file or key gives `fallback`; a key with an empty value gives
    // "". A value is cut to its first 254 bytes, at a character boundary.
    std::string ReadSetting(const std::string& key, const std::string& fallback) const;
    // Trims blanks from both ends of `value` (the caller's text too) and
    // writes it; the file and section are made when missing. False when the
    // file cannot be written; the file is never left half-written.
    bool WriteSetting(const std::string& key, std::string& value) const;

    // The whole record from the file, with the read defaults; values that are
    // not numbers or out of range fall back to the read default.
    Settings Read() const;
    // All keys in file order with their creation values; TurnOver, NoWindow
    // and the association flags come from `current`.
    bool WriteDefaultSettings(const Settings& current) const;

private:
    std::string app_folder_, folder_, path_;
};

// What the main window shows at exit, written with the record.
struct WindowState {
    int32_t left_twip = 0, top_twip = 0;
    std::string file_list_dir;
    int32_t file_pattern = 0;
};

// All keys in file order with the program's current state.
bool SaveSettings(const SettingsFile& file, const Settings& settings, const WindowState& window);

}  // namespace core

#endif
