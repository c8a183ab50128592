#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "E2eSupport.h"
#include "support/Printing.h"

using namespace kervo::test;
using namespace Qt::StringLiterals;

namespace {

// The kervo executable copied into a folder of its own, so that its mail folder (beside the
// executable) belongs to this test alone.
struct Installed {
    QTemporaryDir dir;
    QString program = dir.filePath(u"kervo"_s);
    QString mailFolder = dir.filePath(u"mail"_s);
    bool ok = QFile::copy(QStringLiteral(KERVO_EXECUTABLE), program);
};

void startKervo(QProcess& kervo, const Installed& installed, const QString& settingsDir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    kervo.setProcessEnvironment(env);
    kervo.setWorkingDirectory(settingsDir);
    kervo.start(installed.program, {});
}

TEST(Executable, logReaderGone_alarmLoggedIntoAClosedPipeAndTheMonitorRunsOn) {
    if (const QString why = DovecotServer::unavailableReason(); !why.isEmpty()) {
        GTEST_SKIP() << why.toStdString();
    }
    DovecotServer server;
    const QString failed = startWithReports(
        server, {{u"Integrity report web01: files changed"_s, u"changed: /etc/passwd"_s}});
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
    Installed installed;
    ASSERT_TRUE(installed.ok);
    QTemporaryDir settings;
    // Over IMAP: the executable picks the protocol from line 6 as the operator wrote it.
    ASSERT_TRUE(
        writeSettings(QDir(settings.path()), u"imap://127.0.0.1:%1"_s.arg(server.imapPort()), 10));
    // Standard error is a pipe whose reader is gone before the monitor writes its first line.
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    ::close(ends[0]);
    const int writeEnd = ends[1];
    QProcess kervo;
    kervo.setChildProcessModifier([writeEnd] { ::dup2(writeEnd, STDERR_FILENO); });
    startKervo(kervo, installed, settings.path());
    ::close(writeEnd);
    ASSERT_TRUE(kervo.waitForStarted());
    // The alarm is logged before its report is marked analysed (moved into cur/).
    const QString analysed = installed.mailFolder + u"/cur"_s;
    ASSERT_TRUE(waitFor(
        [&] { return filesIn(analysed) == 1 || kervo.state() == QProcess::NotRunning; }, 60'000));
    EXPECT_EQ(kervo.state(), QProcess::Running)
        << "the monitor ended, exit status " << kervo.exitStatus();
    EXPECT_EQ(filesIn(analysed), 1);
    kervo.kill();
    kervo.waitForFinished();
}

// As the desktop menu starts it: in the home folder, which holds no kervo.ini, with a standard
// error nobody reads. The settings come from ~/.config/kervo and the log goes to the file the
// README names. The server refuses the connection (port 1): the poll fails, the monitor runs on.
TEST(Executable, desktopStart_readsConfigFolderLogsToStateFileAndRunsOnAfterAFailedPoll) {
    Installed installed;
    ASSERT_TRUE(installed.ok);
    QTemporaryDir home;
    const QString settings = home.filePath(u".config/kervo"_s);
    ASSERT_TRUE(QDir().mkpath(settings));
    ASSERT_TRUE(writeSettings(QDir(settings), u"127.0.0.1:1"_s, 10));
    ASSERT_TRUE(QFile::setPermissions(settings + u"/kervo.ini"_s,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QProcess kervo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, home.path());
    env.remove(u"XDG_CONFIG_HOME"_s);
    env.remove(u"XDG_STATE_HOME"_s);
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    kervo.setProcessEnvironment(env);
    kervo.setWorkingDirectory(home.path());
    kervo.start(installed.program, {u"--log-to-file"_s});
    ASSERT_TRUE(kervo.waitForStarted());
    QFile log(home.filePath(u".local/state/kervo/kervo.log"_s));
    QByteArray logged;
    ASSERT_TRUE(waitFor(
        [&] {
            if (log.isOpen() || log.open(QIODevice::ReadOnly)) {
                logged += log.readAll();
            }
            return logged.contains("mail poll failed") || kervo.state() == QProcess::NotRunning;
        },
        30'000))
        << logged.constData() << kervo.readAllStandardError().constData();
    EXPECT_EQ(kervo.state(), QProcess::Running);
    kervo.kill();
    kervo.waitForFinished();
    EXPECT_TRUE(logged.contains("127.0.0.1:1"))
        << "the error names the server: " << logged.constData();
    // warned once each: a password file others can read, a password sent in clear
    EXPECT_EQ(logged.count("chmod 600"), 1) << logged.constData();
    EXPECT_EQ(logged.count("pop3s://"), 1) << logged.constData();
    EXPECT_EQ(kervo.readAllStandardError(), QByteArray());
}

struct FolderRunCase {
    const char* name;
    const char* settingsAt;    // "current", "option" or "xdg": how the settings are to be found
    bool readOnlyProgram;      // the program's folder cannot be written (run as an ordinary user)
    const char* settingsLine;  // %R stands for the test's folder
    const char* mailLine;
};

using kervo::test::PrintTo;

class ExecutableFolders : public ::testing::TestWithParam<FolderRunCase> {};

// The folders as the installed program finds them, under an ordinary user where the program's
// folder is not writable. As root (CI) that user is nobody, who can write nothing here.
TEST_P(ExecutableFolders, startPlace_choosesTheFoldersTheCheckPrints) {
    const FolderRunCase& c = GetParam();
    QTemporaryDir root;
    const QDir r(root.path());
    for (const char* sub : {"prog", "settings", "empty", "home", "xdg/kervo"}) {
        ASSERT_TRUE(r.mkpath(QString::fromLatin1(sub)));
    }
    ASSERT_TRUE(QFile::copy(QStringLiteral(KERVO_EXECUTABLE), r.filePath(u"prog/kervo"_s)));
    const bool inXdg = QByteArrayView(c.settingsAt) == "xdg";
    const QString settings = r.filePath(inXdg ? u"xdg/kervo"_s : u"settings"_s);
    ASSERT_TRUE(writeSettings(QDir(settings), u"127.0.0.1:1"_s, 10));
    const QFile::Permissions readable = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                        QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(root.path(), readable | QFile::WriteOwner));
    const bool asRoot = ::geteuid() == 0;
    if (c.readOnlyProgram) {
        ASSERT_TRUE(QFile::setPermissions(r.filePath(u"prog"_s), readable));
    }

    QProcess kervo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, r.filePath(u"home"_s));
    env.remove(u"XDG_STATE_HOME"_s);
    env.remove(u"XDG_CONFIG_HOME"_s);
    if (inXdg) {
        env.insert(u"XDG_CONFIG_HOME"_s, r.filePath(u"xdg"_s));
    }
    kervo.setProcessEnvironment(env);
    kervo.setWorkingDirectory(QByteArrayView(c.settingsAt) == "current" ? settings
                                                                        : r.filePath(u"empty"_s));
    QStringList arguments = {u"--check"_s};
    if (QByteArrayView(c.settingsAt) == "option") {
        arguments << u"--settings"_s << settings;
    }
    QString program = r.filePath(u"prog/kervo"_s);
    if (c.readOnlyProgram && asRoot) {
        arguments.prepend(program);
        arguments =
            QStringList{u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, u"--"_s} +
            arguments;
        program = u"setpriv"_s;
    }
    kervo.start(program, arguments);
    ASSERT_TRUE(kervo.waitForFinished(30'000));
    const QString out = QString::fromUtf8(kervo.readAllStandardOutput());
    const QString err = QString::fromUtf8(kervo.readAllStandardError());
    (void)QFile::setPermissions(r.filePath(u"prog"_s), readable | QFile::WriteOwner);
    EXPECT_EQ(kervo.exitCode(), 0) << out.toStdString() << err.toStdString();
    for (const char* line : {c.settingsLine, c.mailLine}) {
        const QString expected = QString::fromUtf8(line).replace(u"%R"_s, root.path());
        EXPECT_TRUE(out.contains(expected)) << expected.toStdString() << " in:\n"
                                            << out.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Places, ExecutableFolders,
    ::testing::Values(
        FolderRunCase{"currentFolderHoldsSettings_readThereMailBeside", "current", false,
                      "Settings folder: %R/settings (the current folder holds kervo.ini)",
                      "Mail folder: %R/prog/mail (beside the executable)"},
        FolderRunCase{"settingsOption_readThere", "option", false,
                      "Settings folder: %R/settings (given with --settings)",
                      "Mail folder: %R/prog/mail"},
        FolderRunCase{"noSettingsHere_xdgConfigHome", "xdg", false,
                      "Settings folder: %R/xdg/kervo (the current folder holds no kervo.ini)",
                      "Mail folder: %R/prog/mail"},
        FolderRunCase{"readOnlyProgramFolder_mailInStateHome", "option", true,
                      "Settings folder: %R/settings",
                      "Mail folder: %R/home/.local/state/kervo/mail (the executable's folder "
                      "is not writable)"}),
    kervo::test::rowName);

}  // namespace
