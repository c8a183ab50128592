#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "dials/ConsoleLaunch.h"
#include "dials/QtProcessStarter.h"
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
        {R"(prog "a  b)", "prog|a  b"},
        {"接続　ツール web", "接続　ツール|web"},  // an ideographic space is no blank
        {" \t ", ""},
        {R"("")", ""},
    };
    for (const auto& [line, joined] : cases) {
        EXPECT_EQ(splitCommandLine(u8(line)).join(u'|').toStdString(), joined) << line;
    }
}

// A monitor whose dial 3 carries the command, with the poll and an alarm running.
struct Console : test::MonitorFixture {
    explicit Console(const LooseValue& command, ProcessStarter* real = nullptr)
        : run{state, form, timer1, timer2, clock, beeper, real ? *real : starter, log} {
        state.servers[3].command = command;
        state.serverCount = 3;
        timer1.start();
        timer2.start();
    }
    MonitorContext run;
};

TEST(Picture1Click, everyClick_startsTheProgramWithItsArgumentsAgain) {
    Console f(LooseValue::fromText(u8(R"(ssh -l root "web 01")")));
    for (int dial : {3, 3, 12, -1}) {  // 12 and -1 name no dial
        Picture1_Click(f.run, dial);
    }
    ASSERT_EQ(f.starter.calls.size(), 2u);
    EXPECT_EQ(f.starter.calls[1].program, u8("ssh"));
    EXPECT_EQ(f.starter.calls[1].arguments, u8("-l|root|web 01").split(u'|'));
    EXPECT_TRUE(f.warnings.isEmpty());
}

TEST(Picture1Click, emptyCommands_startNothing) {
    for (const LooseValue& command :
         {LooseValue(), LooseValue::fromText(u8("\"\"")), LooseValue::fromText(u8("   "))}) {
        Console f(command);
        Picture1_Click(f.run, 3);
        EXPECT_TRUE(f.starter.calls.empty()) << command.toText().toStdString();
        EXPECT_TRUE(f.warnings.isEmpty());
    }
}

TEST(QtProcessStarter, programOnPath_runsDetachedWithNoDescriptorOfTheMonitor) {
    QTemporaryDir dir;
    const QString made = dir.filePath(u8("descriptors"));
    // A descriptor the monitor holds open across exec, as a mail server session may be.
    const int opened = ::open("/dev/null", O_RDONLY);
    const int held = ::fcntl(opened, F_DUPFD, 50);
    ::close(opened);
    ASSERT_GE(held, 50);
    QtProcessStarter starter;
    Console f(LooseValue::fromText(
                  u8(R"(sh -c "ls /proc/self/fd >$0.part && mv $0.part $0" "%1")").arg(made)),
              &starter);
    QFileSystemWatcher watcher({dir.path()});
    QSignalSpy changes(&watcher, &QFileSystemWatcher::directoryChanged);
    Picture1_Click(f.run, 3);
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

TEST(QtProcessStarter, missingProgramClicked_warnsAndTheMonitorGoesOn) {
    // a path, a bare name looked up on PATH, and a quoted empty program name
    for (const char* command : {"/nonexistent/console x", "kervo-no-such-console x", "\"\" x"}) {
        QtProcessStarter starter;
        Console f(LooseValue::fromText(u8(command)), &starter);
        EXPECT_NO_THROW(Picture1_Click(f.run, 3));
        ASSERT_EQ(f.warnings.size(), 1) << command;
        EXPECT_TRUE(f.warnings[0].contains(u8(command))) << command;
        EXPECT_TRUE(f.timer1.isActive() && f.timer2.isActive());
    }
}

}  // namespace
