#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

#include "DovecotServer.h"

namespace kervo::test {

// A report as a checker would mail it.
inline QByteArray report(const QString& subject, const QString& body) {
    return QByteArrayLiteral(
               "From: checker@web01.example\r\nTo: kervo@monitor.example\r\n"
               "MIME-Version: 1.0\r\n"
               "Content-Type: text/plain; charset=utf-8\r\n"
               "Content-Transfer-Encoding: 8bit\r\nSubject: ") +
           subject.toUtf8() + QByteArrayLiteral("\r\n\r\n") + body.toUtf8() +
           QByteArrayLiteral("\r\n");
}

// Starts the server with these reports (subject, body) waiting; the reason when it cannot.
inline QString startWithReports(DovecotServer& server,
                                const std::vector<std::pair<QString, QString>>& reports) {
    if (const Result<void> started = server.start(); !started.ok()) {
        return started.error().message;
    }
    for (const auto& [subject, body] : reports) {
        if (const Result<void> added = server.addMail(report(subject, body)); !added.ok()) {
            return added.error().message;
        }
    }
    return {};
}

// A settings folder for the monitor: the sample pictures, three servers, two rules, and the
// mail server on line 6.
inline bool writeSettings(const QDir& dir, const QString& mailServer, int purgeLimit,
                          const char* password = DovecotServer::kPassword) {
    const QDir samples(QStringLiteral(KERVO_SOURCE_DIR "/samples/img"));
    dir.mkpath(QStringLiteral("img"));
    for (const QString& name : samples.entryList(QDir::Files)) {
        if (!QFile::copy(samples.filePath(name), dir.filePath(QStringLiteral("img/") + name))) {
            return false;
        }
    }
    const QString kervoIni =
        QStringLiteral(
            "img/back.png\r\nimg/backalarm.gif\r\nimg/dial.bmp\r\nimg/dialalarm.gif\r\n"
            "%1\r\n%2\r\n%3\r\n%4\r\n"
            "\"R1\",\"files changed\",\"/etc/passwd\",\"passwd changed on web\"\r\n"
            "\"R2\",\"改ざん\",\"index.html\",\"改ざんを検知しました\"\r\n")
            .arg(purgeLimit)
            .arg(mailServer, QString::fromLatin1(DovecotServer::kUser),
                 QString::fromLatin1(password));
    const QString serverIni =
        QStringLiteral("\"monitor\",\"\"\r\n\"web01\",\"\"\r\n\"db01\",\"\"\r\n");
    QFile k(dir.filePath(QStringLiteral("kervo.ini")));
    QFile s(dir.filePath(QStringLiteral("server.ini")));
    return k.open(QIODevice::WriteOnly) && k.write(kervoIni.toUtf8()) > 0 &&
           s.open(QIODevice::WriteOnly) && s.write(serverIni.toUtf8()) > 0;
}

// Runs the event loop until the condition holds, bounded.
inline bool waitFor(const std::function<bool()>& condition, int ms) {
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

inline int filesIn(const QString& path) {
    return static_cast<int>(QDir(path).entryList(QDir::Files).size());
}

}  // namespace kervo::test
