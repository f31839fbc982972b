// The program's binding to Dravolix: the library is found by the module
// search order and each export is bound by name at its first call.
#ifndef KELVORA_CORE_LIBRARY_H
#define KELVORA_CORE_LIBRARY_H

#include <cstdint>
#include <stdexcept>
#include <string>

#include "hwnd.h"
#include "module_loader.h"

namespace core {

// The library or one of its exports cannot be had; the text names which.
class LibraryMissing : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The exports the core calls. Virtual, so that tests can stand in for the library.
class Library {
public:
    virtual ~Library() = default;
    virtual int32_t Dravx(int32_t index, HWND owner, const std::string& command_line) = 0;
    // A command that answers with text (a listing), run without a window:
    // `output` gets at most `output_size` - 1 bytes of the answer.
    virtual int32_t DravxText(int32_t index, const std::string& command_line, uint32_t output_size,
                              std::string& output) = 0;
    virtual int32_t CheckArchive(int32_t index, const std::string& file, int32_t mode) = 0;
    virtual int32_t GetArchiveType(int32_t index, const std::string& file) = 0;
    virtual int32_t GetFileCount(int32_t index, const std::string& file) = 0;
    virtual int16_t GetVersion(int32_t index) = 0;
    virtual int16_t GetSubVersion(int32_t index) = 0;
    virtual int16_t GetCoreVersion() = 0;
    virtual int32_t SupportType() = 0;
    virtual int32_t ConfigDialog(int32_t index, HWND owner, int32_t mode) = 0;
    virtual int16_t GetNkfVersion() = 0;
    virtual int32_t NkfConvertSub(HWND owner, const std::string& option, const std::string& output_file,
                                  const std::string& input_file) = 0;
    virtual int32_t SetAssoc(int32_t index, const std::string& program_path, const std::string& argument) = 0;
    virtual int32_t KillAssoc(int32_t index) = 0;
};

// The real library, "Dravolix.dll" ("Dravolix.so" on disk). Every call throws
// LibraryMissing when the library or the export is not there.
class DravolixLibrary : public Library {
public:
    // True when the library can be found (the start-up check).
    static bool Present();

    int32_t Dravx(int32_t index, HWND owner, const std::string& command_line) override;
    int32_t DravxText(int32_t index, const std::string& command_line, uint32_t output_size,
                      std::string& output) override;
    int32_t CheckArchive(int32_t index, const std::string& file, int32_t mode) override;
    int32_t GetArchiveType(int32_t index, const std::string& file) override;
    int32_t GetFileCount(int32_t index, const std::string& file) override;
    int16_t GetVersion(int32_t index) override;
    int16_t GetSubVersion(int32_t index) override;
    int16_t GetCoreVersion() override;
    int32_t SupportType() override;
    int32_t ConfigDialog(int32_t index, HWND owner, int32_t mode) override;
    int16_t GetNkfVersion() override;
    int32_t NkfConvertSub(HWND owner, const std::string& option, const std::string& output_file,
                          const std::string& input_file) override;
    int32_t SetAssoc(int32_t index, const std::string& program_path, const std::string& argument) override;
    int32_t KillAssoc(int32_t index) override;

private:
    template <class Fn>
    Fn Bind(const char* name);

    platform::Module module_;
};

}  // namespace core

#endif
