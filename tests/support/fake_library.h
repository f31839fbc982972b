// A stand-in for Dravolix: answers scripted by the test, calls recorded.
#ifndef KELVORA_TESTS_FAKE_LIBRARY_H
#define KELVORA_TESTS_FAKE_LIBRARY_H

#include <map>
#include <string>
#include <vector>

#include "library.h"

struct FakeLibrary : core::Library {
    // Answers by archiver index; CheckArchive also by mode (-1: any mode).
    std::map<int, int32_t> check, type, count, command;
    std::map<int, int16_t> version, sub_version;
    std::map<std::pair<int, int>, int32_t> check_by_mode;
    bool missing = false;  // every call throws, as when Dravolix.so is gone
    std::vector<std::string> calls;  // "CheckArchive 2 /in/a.zip 1", "Dravx 1 owner <line>", ...

    void Call(const std::string& call) {
        calls.push_back(call);
        if (missing) throw core::LibraryMissing("Dravolix.dll が見つかりません。");
    }
    static int32_t Find(const std::map<int, int32_t>& answers, int index, int32_t fallback) {
        auto found = answers.find(index);
        return found == answers.end() ? fallback : found->second;
    }

    int32_t Dravx(int32_t index, HWND owner, const std::string& line) override {
        Call("Dravx " + std::to_string(index) + (owner ? " owner " : " none ") + line);
        return Find(command, index, 0);
    }
    // Listings by archiver index; an index without one fails as a module that cannot be loaded.
    std::map<int, std::string> listing;
    int32_t DravxText(int32_t index, const std::string& line, uint32_t output_size, std::string& output) override {
        Call("DravxText " + std::to_string(index) + " " + line);
        auto found = listing.find(index);
        if (found == listing.end()) return -2;
        output = found->second.substr(0, output_size - 1);
        return 0;
    }
    int32_t CheckArchive(int32_t index, const std::string& file, int32_t mode) override {
        Call("CheckArchive " + std::to_string(index) + " " + file + " " + std::to_string(mode));
        if (auto found = check_by_mode.find({index, mode}); found != check_by_mode.end()) return found->second;
        return Find(check, index, -2);  // not installed unless scripted
    }
    int32_t GetArchiveType(int32_t index, const std::string& file) override {
        Call("GetArchiveType " + std::to_string(index) + " " + file);
        return Find(type, index, index == 4 ? 1 : -4);
    }
    int32_t GetFileCount(int32_t index, const std::string& file) override {
        Call("GetFileCount " + std::to_string(index) + " " + file);
        return Find(count, index, 3);
    }
    int16_t GetVersion(int32_t index) override {
        Call("GetVersion " + std::to_string(index));
        auto found = version.find(index);
        return found == version.end() ? int16_t{-2} : found->second;
    }
    int16_t GetSubVersion(int32_t index) override {
        Call("GetSubVersion " + std::to_string(index));
        auto found = sub_version.find(index);
        return found == sub_version.end() ? int16_t{-4} : found->second;
    }
    int16_t GetCoreVersion() override {
        Call("GetCoreVersion");
        return 6;
    }
    int32_t SupportType() override {
        Call("SupportType");
        return static_cast<int32_t>(version.size());
    }
    int32_t ConfigDialog(int32_t index, HWND, int32_t mode) override {
        Call("ConfigDialog " + std::to_string(index) + " " + std::to_string(mode));
        return 0;
    }
    int16_t nkf_version = 0;
    int32_t nkf_result = 0;
    int16_t GetNkfVersion() override {
        Call("GetNkfVersion");
        return nkf_version;
    }
    int32_t NkfConvertSub(HWND owner, const std::string& option, const std::string& output_file,
                          const std::string& input_file) override {
        Call("NkfConvertSub " + std::string(owner ? "owner " : "none ") + option + " " + output_file + " " + input_file);
        return nkf_result;
    }
    int32_t SetAssoc(int32_t index, const std::string& program_path, const std::string& argument) override {
        Call("SetAssoc " + std::to_string(index) + " " + program_path + " " + argument);
        return index >= 0 && index <= 13 ? 1 : 0;
    }
    int32_t KillAssoc(int32_t index) override {
        Call("KillAssoc " + std::to_string(index));
        return index >= 0 && index <= 13 ? 1 : 0;
    }
};

#endif
