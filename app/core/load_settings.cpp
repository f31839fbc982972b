#include "load_settings.h"

#include <charconv>
#include <filesystem>
#include <system_error>

namespace core {

float ProgramVersion() {
    // Parsed from its text, exactly as the file's Version is read.
    const std::string text = ProgramVersionText();
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    return static_cast<float>(value);
}

std::string BackupFileName(float file_version) {
    const float hundredfold = file_version * 100.0f;
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, hundredfold);  // shortest round-trip text
    return "zenkari." + std::string(digits, result.ptr);
}

void LoadSettings(const SettingsFile& file, Settings& out, Prompter& prompter, const StatusFn& status) {
    namespace fs = std::filesystem;
    std::error_code ec;

    out = file.Read();  // read defaults applied, ExtractDir ends in "/"
    if (!fs::is_directory(out.ExtractDir, ec)) out.ExtractDir = file.AppFolder();

    if (!fs::exists(file.Path(), ec)) {
        if (status) status("Creating Environment File...");
        file.WriteDefaultSettings(out);
        return;
    }

    const float program = ProgramVersion();
    if (program > out.Version) {
        prompter.Message("バージョンアップのため、設定ファイルを更新します。", kProgramTitle, Icon::Information);
        file.WriteDefaultSettings(out);
    } else if (program < out.Version) {
        prompter.Message("バージョンが設定ファイルより古いので、バックアップを行います。", kProgramTitle,
                         Icon::Information);
        fs::copy_file(file.Path(), file.Folder() + BackupFileName(out.Version), fs::copy_options::overwrite_existing,
                      ec);
    }
}

}  // namespace core
