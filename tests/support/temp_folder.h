// A new empty folder under the temporary folder, removed with everything in it.
#ifndef KELVORA_TESTS_TEMP_FOLDER_H
#define KELVORA_TESTS_TEMP_FOLDER_H

#include <stdlib.h>

#include <filesystem>
#include <string>

class TempFolder {
public:
    explicit TempFolder(const char* prefix = "kelvora-test") {
        std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Empty when the folder could not be made.
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

#endif
