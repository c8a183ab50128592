#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "E2eSupport.h"

using namespace kervo::test;

namespace {

// The kervo executable copied into a folder of its own, so that its mail folder (beside the
// executable) belongs to this test alone.
struct Installed {
    QTemporaryDir dir;
    QString program = dir.filePath(QStringLiteral("kervo"));
    QString mailFolder = dir.filePath(QStringLiteral("mail"));
    bool ok = QFile::copy(QStringLiteral(KERVO_EXECUTABLE), program);
};

void startKervo(QProcess& kervo, const Installed& installed, const QString& settingsDir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    kervo.setProcessEnvironment(env);
    kervo.setWorkingDirectory(settingsDir);
    kervo.start(installed.program, {});
}

TEST(Executable, unreachableServer_pollFailsAndTheMonitorRunsOn) {
    Installed installed;
    ASSERT_TRUE(installed.ok);
    QTemporaryDir settings;
    // Port 1 on loopback: nothing listens there, the connection is refused at once.
    ASSERT_TRUE(writeSettings(QDir(settings.path()), QStringLiteral("127.0.0.1:1"), 10));
    ASSERT_TRUE(QFile::setPermissions(settings.filePath(QStringLiteral("kervo.ini")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QProcess kervo;
    startKervo(kervo, installed, settings.path());
    ASSERT_TRUE(kervo.waitForStarted());
    QByteArray err;
    ASSERT_TRUE(waitFor(
        [&] {
            kervo.waitForReadyRead(50);
            err += kervo.readAllStandardError();
            return err.contains("mail poll failed") || kervo.state() == QProcess::NotRunning;
        },
        30'000))
        << err.constData();
    EXPECT_TRUE(err.contains("127.0.0.1")) << "the error names the server: " << err.constData();
    // warned once each: a password file others can read, a password sent in clear
    EXPECT_EQ(err.count("chmod 600"), 1) << err.constData();
    EXPECT_EQ(err.count("pop3s://"), 1) << err.constData();
    EXPECT_EQ(kervo.state(), QProcess::Running);
    kervo.kill();
    kervo.waitForFinished();
}

TEST(Executable, logReaderGone_alarmLoggedIntoAClosedPipeAndTheMonitorRunsOn) {
    if (const QString why = DovecotServer::unavailableReason(); !why.isEmpty()) {
        GTEST_SKIP() << why.toStdString();
    }
    DovecotServer server;
    const QString failed =
        startWithReports(server, {{QStringLiteral("Integrity report web01: files changed"),
                                   QStringLiteral("changed: /etc/passwd")}});
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
    Installed installed;
    ASSERT_TRUE(installed.ok);
    QTemporaryDir settings;
    ASSERT_TRUE(writeSettings(QDir(settings.path()),
                              QStringLiteral("127.0.0.1:%1").arg(server.popPort()), 10));
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
    const QString analysed = installed.mailFolder + QStringLiteral("/cur");
    ASSERT_TRUE(waitFor(
        [&] { return filesIn(analysed) == 1 || kervo.state() == QProcess::NotRunning; }, 60'000));
    EXPECT_EQ(kervo.state(), QProcess::Running)
        << "the monitor ended, exit status " << kervo.exitStatus();
    EXPECT_EQ(filesIn(analysed), 1);
    kervo.kill();
    kervo.waitForFinished();
}

}  // namespace
