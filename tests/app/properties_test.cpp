// The properties of a file or a folder: what is read, and who shows it (the
// file manager over D-Bus, or our own window when none answers).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QUrl>

#include <filesystem>
#include <fstream>

#include "env_var.h"
#include "fake_library.h"
#include "properties.h"
#include "properties_dialog.h"
#include "recorders.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;

class PropertiesTest : public ::testing::Test {
protected:
    fs::path Make(const char* name, size_t size, mode_t mode) {
        const fs::path path = temp_.Path() / name;
        std::ofstream(path, std::ios::binary) << std::string(size, 'x');
        chmod(path.c_str(), mode);
        return path;
    }
    // Our own properties windows that are open now.
    static QList<FrmProperty*> OwnWindows() {
        QList<FrmProperty*> found;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<FrmProperty*>(widget); window && window->isVisible()) found << window;
        return found;
    }
    static QStringList Texts(QWidget* window) {
        QStringList texts;
        for (const QLabel* label : window->findChildren<QLabel*>()) texts << label->text();
        return texts;
    }
    // Runs the event loop until `done` or a few seconds have passed.
    template <class Done>
    static bool WaitFor(Done done) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return done();
    }

    TempFolder temp_{"properties-test"};
};

TEST_F(PropertiesTest, ReadsFilesFoldersLinksAndTheRoot) {
    const fs::path file = Make("表.lzh", 1234, 0640);
    const std::optional<core::FileProperties> shown = core::ReadProperties(file.string());
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->name, "表.lzh");
    EXPECT_EQ(shown->location, temp_.Path().string());
    EXPECT_EQ(shown->kind, "ファイル");
    EXPECT_EQ(shown->size, 1234u);
    EXPECT_EQ(shown->size_text, "1,234 バイト");
    EXPECT_EQ(shown->permissions, "rw-r----- (640)");
    EXPECT_EQ(shown->modified.size(), std::string("2026/12/07 07:32:26").size());

    EXPECT_EQ(core::ReadProperties(temp_.Path().string() + "/")->kind, "フォルダ");
    const std::optional<core::FileProperties> root = core::ReadProperties("/");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name, "/");
    EXPECT_EQ(root->location, "");

    // A link that points nowhere still has properties of its own.
    fs::create_symlink("nowhere", temp_.Path() / "dangling");
    const std::optional<core::FileProperties> link = core::ReadProperties((temp_.Path() / "dangling").string());
    ASSERT_TRUE(link);
    EXPECT_EQ(link->kind, "シンボリックリンク");
    EXPECT_EQ(link->link_target, "nowhere");

    EXPECT_FALSE(core::ReadProperties((temp_.Path() / "gone").string()));
    EXPECT_FALSE(core::ReadProperties(""));
}

TEST_F(PropertiesTest, AGoneFileShowsNothing) {
    EnvVar no_bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    ShowPropertiesWindow(QString::fromStdString((temp_.Path() / "gone").string()), nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(OwnWindows().isEmpty());
}

TEST_F(PropertiesTest, OwnWindowWithoutAFileManager) {
    EnvVar no_bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    const fs::path file = Make("readme.txt", 2048, 0644);
    ShowPropertiesWindow(QString::fromStdString(file.string()), nullptr);
    const QList<FrmProperty*> windows = OwnWindows();
    ASSERT_EQ(windows.size(), 1);
    EXPECT_EQ(windows.front()->windowTitle(), "readme.txt のプロパティ");
    const QStringList texts = Texts(windows.front());
    for (const char* expected : {"readme.txt", "2,048 バイト", "rw-r--r-- (644)"})
        EXPECT_TRUE(texts.contains(expected)) << expected << " in " << texts.join("|").toStdString();
    EXPECT_TRUE(texts.contains(QString::fromStdString(temp_.Path().string())));
    windows.front()->close();  // deletes itself
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(OwnWindows().isEmpty());
}

// A file manager on a private session bus: records what it is asked to show
// and answers with success or an error.
class FakeFileManager : public QDBusVirtualObject {
public:
    bool fail = false;
    QList<QDBusMessage> calls;

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        calls << message;
        connection.send(fail ? message.createErrorReply("org.freedesktop.DBus.Error.Failed", "cannot show")
                             : message.createReply());
        return true;
    }
    QString introspect(const QString&) const override { return {}; }
};

class FileManagerTest : public PropertiesTest {
protected:
    void SetUp() override {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(daemon_.waitForStarted()) << "dbus-daemon is not installed";
        ASSERT_TRUE(daemon_.waitForReadyRead(5000));
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        ASSERT_FALSE(address_.isEmpty());
        // The program's own connection (the session bus) finds the bus here.
        bus_variable_ = std::make_unique<EnvVar>("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8().constData());
        QDBusConnection manager = QDBusConnection::connectToBus(address_, "file-manager");
        ASSERT_TRUE(manager.isConnected());
        ASSERT_TRUE(manager.registerVirtualObject("/org/freedesktop/FileManager1", &file_manager_));
        ASSERT_TRUE(manager.registerService("org.freedesktop.FileManager1"));
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus("file-manager");
        daemon_.kill();
        daemon_.waitForFinished();
    }

    QProcess daemon_;
    QString address_;
    std::unique_ptr<EnvVar> bus_variable_;
    FakeFileManager file_manager_;
};

TEST_F(FileManagerTest, TheFileManagerShowsIt) {
    const fs::path file = Make("a b.zip", 10, 0644);
    ShowPropertiesWindow(QString::fromStdString(file.string()), nullptr);
    ASSERT_TRUE(WaitFor([&] { return !file_manager_.calls.isEmpty(); }));
    const QDBusMessage& call = file_manager_.calls.front();
    EXPECT_EQ(call.interface(), "org.freedesktop.FileManager1");
    EXPECT_EQ(call.member(), "ShowItemProperties");
    ASSERT_EQ(call.arguments().size(), 2);
    EXPECT_EQ(call.arguments()[0].toStringList(),
              QStringList(QUrl::fromLocalFile(QString::fromStdString(file.string())).toString()));
    // The answer comes back; no window of ours follows it.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
    EXPECT_TRUE(OwnWindows().isEmpty());
}

TEST_F(FileManagerTest, OwnWindowWhenTheFileManagerFails) {
    file_manager_.fail = true;
    const fs::path file = Make("a.zip", 10, 0644);
    ShowPropertiesWindow(QString::fromStdString(file.string()), nullptr);
    ASSERT_TRUE(WaitFor([] { return !OwnWindows().isEmpty(); }));
    EXPECT_EQ(file_manager_.calls.size(), 1);
    EXPECT_EQ(OwnWindows().front()->windowTitle(), "a.zip のプロパティ");
}

TEST(ShowProperties, OnlyAnExistingPathReachesTheDesktop) {
    TempFolder temp("properties-test");
    core::Session session;
    FakeLibrary library;
    CoreRecorders recorders;
    core::Context ctx = recorders.ContextOver(session, library);
    core::ShowProperties(ctx, temp.Path().string());
    core::ShowProperties(ctx, (temp.Path() / "gone").string());
    EXPECT_EQ(recorders.shell_.properties, std::vector<std::string>{temp.Path().string()});
    EXPECT_TRUE(library.calls.empty());
}

}  // namespace
