// Stand-ins for the main window, the message boxes and the desktop that
// record what the core does to them.
#ifndef KELVORA_TESTS_RECORDERS_H
#define KELVORA_TESTS_RECORDERS_H

#include <deque>
#include <string>
#include <vector>

#include "session.h"
#include "ui.h"

struct ScreenRecorder : core::Screen {
    std::string file_type, status, preview;
    core::Rgb status_colour{};
    bool dll_list_visible = true, preview_visible = false, dll_settings_enabled = true;
    bool browser_enabled = true, busy = false;
    int selected_row = -1, refreshes = 0;
    std::vector<std::string> events;  // "browser off", "browser on", "busy on", ...
    std::string manual_destination = "/manual/", browsed_folder = "/browsed";

    void SetFileType(const std::string& text) override { file_type = text; }
    void SetStatus(const std::string& text) override { status = text; }
    void SetStatusColour(core::Rgb colour) override { status_colour = colour; }
    void ShowDllList(bool visible) override { dll_list_visible = visible; }
    void SelectDllRow(int row) override { selected_row = row; }
    void ShowPreview(bool visible, const std::string& text) override {
        preview_visible = visible;
        if (visible) preview = text;
    }
    void EnableDllSettings(bool enabled) override { dll_settings_enabled = enabled; }
    void EnableBrowser(bool enabled) override {
        browser_enabled = enabled;
        events.push_back(enabled ? "browser on" : "browser off");
    }
    void SetBusy(bool on) override {
        busy = on;
        events.push_back(on ? "busy on" : "busy off");
    }
    void RefreshFileList() override { ++refreshes; }
    std::string ManualDestination() override { return manual_destination; }
    std::string BrowsedFolder() override { return browsed_folder; }
};

struct PrompterRecorder : core::Prompter {
    struct Shown {
        std::string text, title;
        core::Icon icon;
    };
    std::vector<Shown> messages;
    std::vector<std::string> prompts;  // "prompt|title|proposal"
    std::deque<std::optional<std::string>> answers;  // what the input box answers, in turn

    void Message(const std::string& text, const std::string& title, core::Icon icon) override {
        messages.push_back({text, title, icon});
    }
    std::optional<std::string> Input(const std::string& prompt, const std::string& title,
                                     const std::string& proposal) override {
        prompts.push_back(prompt + "|" + title + "|" + proposal);
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

struct ShellRecorder : core::Shell {
    std::vector<std::string> opened_files, opened_folders, web_pages, properties;
    std::vector<std::string> extracted;  // what each successful extraction made
    std::string desktop = "/desktop/", documents = "/documents/";

    void OpenFile(const std::string& path, const std::string& working_folder) override {
        opened_files.push_back(path + "|" + working_folder);
    }
    void OpenFolder(const std::string& folder) override { opened_folders.push_back(folder); }
    void ShowExtracted(const std::string& output, const std::string& folder) override {
        extracted.push_back(output);
        if (!folder.empty()) opened_folders.push_back(folder);
    }
    void OpenWebPage(const std::string& address) override { web_pages.push_back(address); }
    void ShowProperties(const std::string& path) override { properties.push_back(path); }
    std::string DesktopFolder() override { return desktop; }
    std::string DocumentsFolder() override { return documents; }
};

// The three recorders a core fixture hands to the procedures; derive from it
// and build the fixture's context with ContextOver.
struct CoreRecorders {
    ScreenRecorder screen_;
    PrompterRecorder prompter_;
    ShellRecorder shell_;

    core::Context ContextOver(core::Session& session, core::Library& library, HWND owner = nullptr) {
        return {session, library, screen_, prompter_, shell_, owner};
    }
};

#endif
