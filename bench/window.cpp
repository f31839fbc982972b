// zenkari-window-bench [-n ROUNDS] FOLDER NAME...: how long the main window
// takes to show what kind of archive a file is once the user clicks it in the
// file list.
//
// It opens the program's own main window (the window code of zenkari, with the
// real Dravolix.so and modules found beside this program, and the settings
// file zenkari.ini there) on FOLDER, as `zenkari FOLDER` does after its
// start-up. Each round clicks every NAME in the file list in turn (a mouse
// press and release on its row, as the user does) and takes the time from the
// press until the type label (Label3) is painted with the archive's type, and
// until the status line (Label5) is painted with the entry count. The next
// click waits for the count, so that no work left over from one file runs into
// the next one's time.
//
// Every click is on a name the program has not seen, as when the user selects
// a new file: a module keeps the worker that answered about a file for the
// next question about it, so a second click on the same name would find the
// workers of the first waiting. Before each click (outside the time) the
// file gets a new name beside its own, a hard link "ROUND-NAME", and the
// file list is read again (F5); the link is removed after the click.
//
// Run it with a display (xvfb-run) or on Qt's offscreen platform. After one
// warm-up round it prints, per file, the median, min and max in ms of ROUNDS
// (default 5) rounds, and the label's text. Exits 1 when a label or a count
// does not come within 300 s, or a label tells of an error instead of a type.
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app.h"
#include "desktop.h"
#include "frm_main.h"
#include "load_settings.h"
#include "main_rules.h"
#include "process.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTimeout = std::chrono::seconds(300);

// Notes when a label is first painted with a text that `wanted` accepts.
class PaintWatch : public QObject {
public:
    PaintWatch(QLabel* label, std::function<bool(const QString&)> wanted) : label_(label), wanted_(std::move(wanted)) {
        label_->installEventFilter(this);
    }
    void Reset() { painted_.reset(); }
    const std::optional<Clock::time_point>& Painted() const { return painted_; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted_ && wanted_(label_->text())) painted_ = Clock::now();
        return false;
    }

private:
    QLabel* label_;
    std::function<bool(const QString&)> wanted_;
    std::optional<Clock::time_point> painted_;
};

// Runs the event loop until `done` or the timeout; false on the timeout.
bool WaitFor(const std::function<bool()>& done) {
    const auto give_up = Clock::now() + kTimeout;
    while (!done()) {
        if (Clock::now() > give_up) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

void Mouse(QListWidget* list, int row, QEvent::Type type) {
    const QPointF at = list->visualItemRect(list->item(row)).center();
    QMouseEvent event(type, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &event);
}

int RowOf(QListWidget* list, const QString& name) {
    for (int row = 0; row < list->count(); ++row)
        if (list->item(row)->text() == name) return row;
    return -1;
}

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

struct Samples {
    std::vector<double> label_ms, count_ms;
    QString label;
};

std::string Summary(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    char text[64];
    std::snprintf(text, sizeof text, "%9.1f %9.1f %9.1f", median, values.front(), values.back());
    return text;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "-n") == 0) {
        rounds = std::atoi(argv[2]);
        first = 3;
    }
    if (argc - first < 2 || rounds < 1) {
        std::fprintf(stderr, "usage: zenkari-window-bench [-n ROUNDS] FOLDER NAME...\n");
        return 2;
    }
    const std::string folder = argv[first];
    std::vector<QString> names;
    for (int i = first + 1; i < argc; ++i) names.push_back(QString::fromLocal8Bit(argv[i]));

    // The program's set-up with a display (app/zenkari.cpp), and its quick
    // start (app/startup): the settings, then the main window on the folder.
    QApplication qt(argc, argv);
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) setlocale(LC_CTYPE, "C.UTF-8");
    App app;
    app.app_folder = FolderOf(platform::ProgramPath());
    // The window counts entries by starting the program itself, which lies beside this one.
    app.program_path = app.app_folder + "/zenkari";
    app.help_file = FindHelpFile(app.app_folder);
    app.settings_file = std::make_unique<core::SettingsFile>(app.app_folder);
    app.session.settings_folder = app.settings_file->Folder();
    app.session.count_entries = true;
    app.library = std::make_unique<core::DravolixLibrary>();
    app.prompter = MakeWindowPrompter();
    app.shell = MakeDesktopShell();
    core::LoadSettings(*app.settings_file, app.session.settings, *app.prompter, {});

    auto* window = new FrmMain(app);
    if (!window->Load(folder)) {
        std::fprintf(stderr, "%s: the window did not open\n", folder.c_str());
        return 2;
    }
    auto* files = window->findChild<QListWidget*>("File1");
    auto* type_label = window->findChild<QLabel*>("Label3");
    auto* status = window->findChild<QLabel*>("Label5");
    if (!files || !type_label || !status) {
        std::fprintf(stderr, "the main window lacks File1, Label3 or Label5\n");
        return 2;
    }
    if (!WaitFor([&] { return window->windowHandle() && window->windowHandle()->isExposed(); })) {
        std::fprintf(stderr, "the main window was never shown\n");
        return 2;
    }
    for (const QString& name : names)
        if (RowOf(files, name) < 0) {
            std::fprintf(stderr, "%s is not in the file list of %s\n", qPrintable(name), folder.c_str());
            return 2;
        }

    const QString checking = QStringLiteral("Checking...");
    PaintWatch label_watch(type_label, [&](const QString& text) { return !text.isEmpty() && text != checking; });
    // "...格納ﾌｧｲﾙ数：1,234File(s),...": a number, not a text that stands in for one.
    const QRegularExpression count_shown(QStringLiteral("[0-9]File\\(s\\)"));
    PaintWatch count_watch(status, [&](const QString& text) { return text.contains(count_shown); });

    std::vector<Samples> samples(names.size());
    int status_code = 0;
    for (int round = 0; round <= rounds; ++round) {
        for (size_t n = 0; n < names.size(); ++n) {
            const QString fresh = QString::number(round) + "-" + names[n];
            const std::string original = folder + "/" + names[n].toStdString();
            const std::string link_path = folder + "/" + fresh.toStdString();
            std::remove(link_path.c_str());
            if (link(original.c_str(), link_path.c_str()) != 0) {
                std::perror(link_path.c_str());
                return 2;
            }
            window->RefreshLists();
            const int row = RowOf(files, fresh);
            if (row < 0) {
                std::fprintf(stderr, "%s is not in the file list\n", qPrintable(fresh));
                return 2;
            }
            files->scrollToItem(files->item(row));
            // Both labels are emptied and painted so, that the click's own texts are seen.
            type_label->clear();
            status->clear();
            QCoreApplication::processEvents();
            label_watch.Reset();
            count_watch.Reset();

            const auto start = Clock::now();
            Mouse(files, row, QEvent::MouseButtonPress);
            Mouse(files, row, QEvent::MouseButtonRelease);
            const bool labelled = WaitFor([&] { return label_watch.Painted().has_value(); });
            const bool counted = labelled && WaitFor([&] { return count_watch.Painted().has_value(); });
            const QString label = type_label->text();
            std::remove(link_path.c_str());
            if (!labelled || !counted) {
                std::fprintf(stderr, "%s: %s after %lld s (label \"%s\", status \"%s\")\n", qPrintable(names[n]),
                             labelled ? "no entry count" : "no type label", static_cast<long long>(kTimeout.count()),
                             qPrintable(label), qPrintable(status->text()));
                return 1;
            }
            if (!label.endsWith(QStringLiteral("書庫")) || label.contains(QStringLiteral("エラー"))) {
                std::fprintf(stderr, "%s: the label tells \"%s\" (status \"%s\")\n", qPrintable(names[n]),
                             qPrintable(label), qPrintable(status->text()));
                status_code = 1;
            }
            if (round == 0) continue;
            samples[n].label_ms.push_back(Ms(start, *label_watch.Painted()));
            samples[n].count_ms.push_back(Ms(start, *count_watch.Painted()));
            samples[n].label = label;
        }
    }

    std::printf("%-16s %9s %9s %9s %9s %9s %9s  %s\n", "file", "label/ms", "min", "max", "count/ms", "min", "max",
                "label");
    for (size_t n = 0; n < names.size(); ++n)
        std::printf("%-16s %s %s  %s\n", qPrintable(names[n]), Summary(samples[n].label_ms).c_str(),
                    Summary(samples[n].count_ms).c_str(), qPrintable(samples[n].label));
    std::printf("ms from the click to the type label painted, and to the entry count painted:\n"
                "median, min and max of %d rounds after a warm-up round\n",
                rounds);
    std::fflush(stdout);
    // The window and its settings are left as they are: nothing is saved.
    std::_Exit(status_code);
}
