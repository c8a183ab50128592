#pragma once

// Settings folders for the tests: kervo.ini and server.ini written byte for byte into a
// temporary folder, and small pictures beside them.

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

namespace kervo::test {

// The eight head lines of kervo.ini, each ended by CR LF.
struct Head {
    QByteArray background;
    QByteArray alarmBackground;
    QByteArray dial;
    QByteArray dialAlarm;
    QByteArray purge = "120";
    QByteArray server = "pop.example.com";
    QByteArray user = "watch";
    QByteArray password = "secret";

    QByteArray bytes() const {
        QByteArray out;
        for (const QByteArray* line : {&background, &alarmBackground, &dial, &dialAlarm, &purge,
                                       &server, &user, &password}) {
            out += *line + "\r\n";
        }
        return out;
    }
};

class SettingsFolder {
  public:
    QDir dir() const { return QDir(temp_.path()); }
    QString path(const QString& name) const { return temp_.filePath(name); }

    void write(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            throw std::runtime_error("cannot write test file");
        }
    }
    void writeKervo(const QByteArray& bytes) const { write(QStringLiteral("kervo.ini"), bytes); }
    void writeServers(const QByteArray& bytes) const { write(QStringLiteral("server.ini"), bytes); }
    // Both files at once: a head, its rule lines, and the server lines.
    void writeBoth(const Head& head, const QByteArray& rules, const QByteArray& servers) const {
        writeKervo(head.bytes() + rules);
        writeServers(servers);
    }

    // A plain picture of one colour; the folder name may include a subfolder.
    void writePicture(const QString& name, QSize size, QColor colour) const {
        const QString file = path(name);
        QDir().mkpath(QFileInfo(file).path());
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        if (!image.save(file, "PNG")) {
            throw std::runtime_error("cannot write test picture");
        }
    }

  private:
    QTemporaryDir temp_;
};

// n rule lines "Rk,first k,second k,message k", each ended by CR LF.
inline QByteArray ruleLines(int n) {
    QByteArray out;
    for (int k = 1; k <= n; ++k) {
        const QByteArray key = QByteArray::number(k);
        out += "R" + key + ",first " + key + ",second " + key + ",message " + key + "\r\n";
    }
    return out;
}

// n server lines "host-k,console k", each ended by CR LF.
inline QByteArray serverLines(int n) {
    QByteArray out;
    for (int k = 0; k < n; ++k) {
        const QByteArray key = QByteArray::number(k);
        out += "host-" + key + ",console " + key + "\r\n";
    }
    return out;
}

}  // namespace kervo::test
