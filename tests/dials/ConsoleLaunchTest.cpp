#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "dials/ConsoleLaunch.h"
#include "dials/SpawnProcessStarter.h"
#include "support/MonitorFixture.h"

using namespace kervo;

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

TEST(SplitCommandLine, table_givesTheProgramAndItsArguments) {
    const std::pair<const char*, const char*> cases[] = {
        // the words, joined by '|' for the table
        {"  ssh \t -l\troot  web01 ", "ssh|-l|root|web01"},
        {R"(--title="web 01"x next)", "--title=web 01x|next"},
        {R"(prog "" last)", "prog||last"},
        {"接続　ツール web", "接続　ツール|web"},  // an ideographic space is no blank
        {R"("")", ""},
    };
    for (const auto& [line, joined] : cases) {
        EXPECT_EQ(splitCommandLine(u8(line)).join(u'|').toStdString(), joined) << line;
    }
}

// Settings whose dial 3 carries the command, and its launcher.
struct Console : test::MonitorFixture {
    explicit Console(const LooseValue& command, ProcessStarter* real = nullptr)
        : settings(withCommand(command)), launcher(settings, real ? *real : starter, log) {}
    static Settings withCommand(const LooseValue& command) {
        Settings s = test::settingsWith({u8("a"), u8("b"), u8("c"), u8("d")});
        s.servers[3].command = command;
        return s;
    }
    Settings settings;
    ConsoleLauncher launcher;
};

TEST(OpenConsole, everyClick_startsTheProgramWithItsArgumentsAgain) {
    Console f(LooseValue::fromText(u8(R"(ssh -l root "web 01")")));
    for (int dial : {3, 3, 4, 12, -1}) {  // 4 has no server; 12 and -1 name no dial
        f.launcher.openConsole(dial);
    }
    ASSERT_EQ(f.starter.calls.size(), 2u);
    EXPECT_EQ(f.starter.calls[1].program, u8("ssh"));
    EXPECT_EQ(f.starter.calls[1].arguments, u8("-l|root|web 01").split(u'|'));
    EXPECT_TRUE(f.warnings.isEmpty());
}

TEST(SpawnProcessStarter, programOnPath_runsDetachedWithNoDescriptorOfTheMonitor) {
    QTemporaryDir dir;
    const QString made = dir.filePath(u8("descriptors"));
    // A descriptor the monitor holds open across exec, as a mail server session may be.
    const int opened = ::open("/dev/null", O_RDONLY);
    const int held = ::fcntl(opened, F_DUPFD, 50);
    ::close(opened);
    ASSERT_GE(held, 50);
    SpawnProcessStarter starter;
    Console f(LooseValue::fromText(
                  u8(R"(sh -c "ls /proc/self/fd >$0.part && mv $0.part $0" "%1")").arg(made)),
              &starter);
    QFileSystemWatcher watcher({dir.path()});
    QSignalSpy changes(&watcher, &QFileSystemWatcher::directoryChanged);
    f.launcher.openConsole(3);
    while (!QFileInfo::exists(made) && changes.wait(30000)) {
    }
    ::close(held);
    QFile listing(made);
    ASSERT_TRUE(listing.open(QIODevice::ReadOnly));
    const QList<QByteArray> descriptors = listing.readAll().split('\n');
    EXPECT_TRUE(descriptors.contains("2"));
    EXPECT_FALSE(descriptors.contains(QByteArray::number(held))) << held;
    EXPECT_TRUE(f.warnings.isEmpty());
}

TEST(SpawnProcessStarter, missingProgramClicked_warnsAndTheMonitorGoesOn) {
    // a path, a bare name looked up on PATH, and a quoted empty program name
    for (const char* command : {"/nonexistent/console x", "kervo-no-such-console x", "\"\" x"}) {
        SpawnProcessStarter starter;
        Console f(LooseValue::fromText(u8(command)), &starter);
        f.launcher.openConsole(3);
        ASSERT_EQ(f.warnings.size(), 1) << command;
        EXPECT_TRUE(f.warnings[0].contains(u8(command))) << command;
    }
}

}  // namespace
