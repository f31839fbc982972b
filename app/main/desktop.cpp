#include "desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>
#include <QUrl>

#include <string>

#include "desktop_folders.h"
#include "properties_dialog.h"

namespace {

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

class WindowPrompter : public core::Prompter {
public:
    void Message(const std::string& text, const std::string& title, core::Icon icon) override {
        QMessageBox::Icon kind = icon == core::Icon::Information ? QMessageBox::Information
                                 : icon == core::Icon::Critical  ? QMessageBox::Critical
                                                                 : QMessageBox::Warning;
        QMessageBox box(kind, FromUtf8(title), FromUtf8(text), QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
    }
    std::optional<std::string> Input(const std::string& prompt, const std::string& title,
                                     const std::string& proposal) override {
        bool ok = false;
        QString answer = QInputDialog::getText(QApplication::activeWindow(), FromUtf8(title), FromUtf8(prompt),
                                               QLineEdit::Normal, FromUtf8(proposal), &ok);
        if (!ok) return std::nullopt;
        return answer.toStdString();
    }
};

class DesktopShell : public core::Shell {
public:
    void OpenFile(const std::string& path, const std::string&) override {
        QDesktopServices::openUrl(QUrl::fromLocalFile(FromUtf8(path)));
    }
    void OpenFolder(const std::string& folder) override {
        QDesktopServices::openUrl(QUrl::fromLocalFile(FromUtf8(folder)));
    }
    void ShowExtracted(const std::string&, const std::string& folder) override {
        if (!folder.empty()) OpenFolder(folder);
    }
    void OpenWebPage(const std::string& address) override { QDesktopServices::openUrl(QUrl(FromUtf8(address))); }
    void ShowProperties(const std::string& path) override {
        ShowPropertiesWindow(FromUtf8(path), QApplication::activeWindow());
    }
    std::string DesktopFolder() override { return platform::DesktopFolder(); }
    std::string DocumentsFolder() override { return platform::DocumentsFolder(); }
};

class ConsolePrompter : public core::Prompter {
public:
    ConsolePrompter(std::FILE* errors, std::FILE* input) : errors_(errors), input_(input) {}
    void Message(const std::string& text, const std::string& title, core::Icon) override {
        // Lines joined with CR LF print as plain lines.
        std::string line;
        for (char c : text)
            if (c != '\r') line.push_back(c);
        std::fprintf(errors_, "%s: %s\n", title.c_str(), line.c_str());
        std::fflush(errors_);
    }
    std::optional<std::string> Input(const std::string& prompt, const std::string& title,
                                     const std::string& proposal) override {
        std::fprintf(errors_, "%s: %s [%s]\n", title.c_str(), prompt.c_str(), proposal.c_str());
        std::fflush(errors_);
        std::string answer;
        int c = 0;
        while ((c = std::fgetc(input_)) != EOF && c != '\n') answer.push_back(static_cast<char>(c));
        // The end of input cancels; an empty line takes the proposal, as Enter does in the window.
        if (c == EOF && answer.empty()) return std::nullopt;
        return answer.empty() ? proposal : answer;
    }

private:
    std::FILE* errors_;
    std::FILE* input_;
};

class ConsoleShell : public DesktopShell {
public:
    explicit ConsoleShell(std::FILE* out) : out_(out) {}
    void OpenFile(const std::string& path, const std::string&) override { Print(path); }
    void OpenFolder(const std::string& folder) override { Print(folder); }
    void ShowExtracted(const std::string& output, const std::string&) override { Print(output); }
    void OpenWebPage(const std::string& address) override { Print(address); }
    void ShowProperties(const std::string& path) override {
        const std::optional<core::FileProperties> shown = core::ReadProperties(path);
        if (!shown) return;
        Print(shown->name + "\n" + shown->kind + "\n" + shown->size_text + "\n" + shown->location + "\n" +
              shown->modified + "\n" + shown->permissions + "\n" + shown->owner);
    }

private:
    void Print(const std::string& path) {
        std::fprintf(out_, "%s\n", path.c_str());
        std::fflush(out_);
    }
    std::FILE* out_;
};

}  // namespace

void TranslateQtDialogs() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(), "qt", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

std::unique_ptr<core::Prompter> MakeWindowPrompter() { return std::make_unique<WindowPrompter>(); }
std::unique_ptr<core::Shell> MakeDesktopShell() { return std::make_unique<DesktopShell>(); }
std::unique_ptr<core::Prompter> MakeConsolePrompter(std::FILE* errors, std::FILE* input) {
    return std::make_unique<ConsolePrompter>(errors, input);
}
std::unique_ptr<core::Shell> MakeConsoleShell(std::FILE* out) { return std::make_unique<ConsoleShell>(out); }
