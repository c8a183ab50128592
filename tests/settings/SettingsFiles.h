#pragma once

// Settings folders for the tests: kervo.ini and server.ini written byte for byte into a
// temporary folder, with small pictures beside them.

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <utility>

namespace kervo::test {

inline const QColor kBackColour(10, 20, 30);
inline const QColor kDialColour(200, 100, 50);

// The eight head lines of kervo.ini, each ended by CR LF; changes are given by line number.
inline QByteArray head(std::initializer_list<std::pair<int, QByteArray>> changes = {}) {
    QByteArray lines[8] = {"", "", "", "", "120", "pop.example.com", "watch", "hunter2"};
    for (const auto& [line, text] : changes) {
        lines[line - 1] = text;
    }
    QByteArray out;
    for (const QByteArray& line : lines) {
        out += line + "\r\n";
    }
    return out;
}

// Records from..to, one a line, with # in the pattern standing for the number.
inline QByteArray numbered(int from, int to, const QByteArray& pattern) {
    QByteArray out;
    for (int k = from; k <= to; ++k) {
        out += QByteArray(pattern).replace('#', QByteArray::number(k)) + "\r\n";
    }
    return out;
}
inline QByteArray ruleLines(int n) {
    return numbered(1, n, "R#,a,b,message #");
}
inline QByteArray serverLines(int n) {
    return numbered(0, n - 1, "host-#,console");
}

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
    // kervo.ini and server.ini; a file given as nothing is not written at all.
    void writeBoth(const std::optional<QByteArray>& kervo,
                   const std::optional<QByteArray>& servers) const {
        if (kervo) {
            write(QStringLiteral("kervo.ini"), *kervo);
        }
        if (servers) {
            write(QStringLiteral("server.ini"), *servers);
        }
    }
    // Pictures in img/: back.png (40 x 30) and dial.png (20 x 20), and text.png, which is none.
    void writePictures() const {
        QDir().mkpath(path(QStringLiteral("img")));
        QImage back(40, 30, QImage::Format_RGB32);
        back.fill(kBackColour);
        QImage dial(20, 20, QImage::Format_RGB32);
        dial.fill(kDialColour);
        if (!back.save(path(QStringLiteral("img/back.png"))) ||
            !dial.save(path(QStringLiteral("img/dial.png")))) {
            throw std::runtime_error("cannot write test picture");
        }
        write(QStringLiteral("img/text.png"), "not a picture");
    }

  private:
    QTemporaryDir temp_;
};

}  // namespace kervo::test
