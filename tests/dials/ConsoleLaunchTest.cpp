#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTemporaryDir>

#include "dials/ConsoleLaunch.h"
#include "dials/QtProcessStarter.h"
#include "support/MonitorFixture.h"

using namespace kervo;
using kervo::test::MonitorFixture;

namespace {

struct SplitCase {
    const char* name;
    const char* line;
    QStringList words;
};

class SplitCommandLine : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLine, line_givesTheProgramAndItsArguments) {
    EXPECT_EQ(splitCommandLine(QString::fromUtf8(GetParam().line)), GetParam().words);
}

QStringList words(std::initializer_list<const char*> list) {
    QStringList out;
    for (const char* w : list) {
        out.append(QString::fromUtf8(w));
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitCommandLine,
    ::testing::Values(
        SplitCase{"plain", "ssh -l root web01", words({"ssh", "-l", "root", "web01"})},
        SplitCase{"blanksAndTabs", "  ssh \t -v\t\tweb01  ", words({"ssh", "-v", "web01"})},
        SplitCase{"quotedProgram", R"("C:\Program Files\tt\ttermpro.exe" web01 /ssh)",
                  words({R"(C:\Program Files\tt\ttermpro.exe)", "web01", "/ssh"})},
        SplitCase{"quotesInsideAWord", R"(--title="web 01"x next)",
                  words({"--title=web 01x", "next"})},
        SplitCase{"emptyArgumentKept", R"(prog "" last)", words({"prog", "", "last"})},
        SplitCase{"unclosedQuote", R"(prog "a  b)", words({"prog", "a  b"})},
        SplitCase{"japanesePath", "\"/opt/サーバ 管理/接続.sh\" ホスト１",
                  words({"/opt/サーバ 管理/接続.sh", "ホスト１"})},
        SplitCase{"ideographicSpaceIsNoBlank", "接続　ツール web", words({"接続　ツール", "web"})},
        SplitCase{"empty", "", words({})}, SplitCase{"onlyBlanks", " \t ", words({})},
        SplitCase{"twoQuotes", R"("")", words({})},
        SplitCase{"onlyEmptyQuotes", R"( "" "" )", words({})}),
    [](const auto& param) { return std::string(param.param.name); });

ServerEntry server(const QString& command) {
    return {LooseValue::fromText(QStringLiteral("web01")), LooseValue::fromText(command)};
}

TEST(Picture1Click, command_startsTheProgramWithItsArgumentsEveryClick) {
    MonitorFixture f;
    f.state.servers[3] = server(QStringLiteral("ssh -l root \"web 01\""));
    f.state.serverCount = 3;
    Picture1_Click(f.context, 3);
    Picture1_Click(f.context, 3);
    ASSERT_EQ(f.starter.calls.size(), 2u);
    for (const auto& call : f.starter.calls) {
        EXPECT_EQ(call.program, QStringLiteral("ssh"));
        EXPECT_EQ(call.arguments, words({"-l", "root", "web 01"}));
    }
    EXPECT_TRUE(f.warnings.isEmpty());
}

TEST(Picture1Click, emptyCommands_startNothing) {
    for (const LooseValue& command : {LooseValue(), LooseValue::fromText(QString()),
                                      LooseValue::fromText(QStringLiteral("\"\"")),
                                      LooseValue::fromText(QStringLiteral("   "))}) {
        MonitorFixture f;
        f.state.servers[0].command = command;
        f.state.serverCount = 0;
        Picture1_Click(f.context, 0);
        EXPECT_TRUE(f.starter.calls.empty()) << command.toText().toStdString();
        EXPECT_TRUE(f.warnings.isEmpty());
    }
}

TEST(Picture1Click, startFailsDuringAlarm_warnsNamingTheCommandAndAlarmGoesOn) {
    MonitorFixture f;
    f.state.servers[2] = server(QStringLiteral("no-such-console web01"));
    f.state.serverCount = 2;
    f.starter.failWith = QStringLiteral("No such file or directory");
    f.timer1.start();
    f.timer2.start();
    EXPECT_NO_THROW(Picture1_Click(f.context, 2));
    ASSERT_EQ(f.warnings.size(), 1);
    EXPECT_TRUE(f.warnings[0].contains(QStringLiteral("no-such-console web01")));
    EXPECT_TRUE(f.warnings[0].contains(QStringLiteral("No such file or directory")));
    EXPECT_EQ(f.stream.lines().size(), 1);
    EXPECT_TRUE(f.timer1.isActive());
    EXPECT_TRUE(f.timer2.isActive());
}

TEST(Picture1Click, indexWithoutDial_startsNothing) {
    MonitorFixture f;
    for (auto& s : f.state.servers) {
        s = server(QStringLiteral("ssh web01"));
    }
    f.state.serverCount = 11;
    Picture1_Click(f.context, 12);
    Picture1_Click(f.context, -1);
    EXPECT_TRUE(f.starter.calls.empty());
}

// Runs the event loop until the file exists or a generous bound passes; no fixed wait.
bool waitForFile(const QString& dir, const QString& path) {
    QFileSystemWatcher watcher({dir});
    QEventLoop loop;
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, [&] {
        if (QFileInfo::exists(path)) {
            loop.quit();
        }
    });
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    bound.start(30000);
    if (!QFileInfo::exists(path)) {
        loop.exec();
    }
    return QFileInfo::exists(path);
}

TEST(QtProcessStarter, programOnPath_runsDetached) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString done = dir.filePath(QStringLiteral("done"));
    MonitorFixture f;
    QtProcessStarter starter;
    MonitorContext context{f.state, f.form, f.timer1, f.timer2, f.clock, f.beeper, starter, f.log};
    // written under another name and renamed, so the file appears complete
    f.state.servers[0].command = LooseValue::fromText(
        QStringLiteral("sh -c \"echo started > '%1/part' && mv '%1/part' '%2'\"")
            .arg(dir.path(), done));
    f.state.serverCount = 0;
    Picture1_Click(context, 0);
    EXPECT_TRUE(f.warnings.isEmpty());
    ASSERT_TRUE(waitForFile(dir.path(), done));
    QFile file(done);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("started\n"));
}

TEST(QtProcessStarter, missingProgram_failsWithAReason) {
    QtProcessStarter starter;
    for (const QString& program : {QStringLiteral("/nonexistent/kervo-console"),
                                   QStringLiteral("kervo-no-such-console"), QString()}) {
        QString error;
        EXPECT_FALSE(starter.startDetached(program, {QStringLiteral("web01")}, &error))
            << program.toStdString();
        EXPECT_FALSE(error.isEmpty()) << program.toStdString();
    }
}

TEST(QtProcessStarter, missingProgramClicked_warnsAndKeepsRunning) {
    MonitorFixture f;
    QtProcessStarter starter;
    MonitorContext context{f.state, f.form, f.timer1, f.timer2, f.clock, f.beeper, starter, f.log};
    f.state.servers[5].command = LooseValue::fromText(QStringLiteral("/nonexistent/console x"));
    f.state.serverCount = 5;
    EXPECT_NO_THROW(Picture1_Click(context, 5));
    ASSERT_EQ(f.warnings.size(), 1);
    EXPECT_TRUE(f.warnings[0].contains(QStringLiteral("/nonexistent/console x")));
}

}  // namespace
