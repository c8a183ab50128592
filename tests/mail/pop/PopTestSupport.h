#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kervo::test {

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline QStringList filesIn(const QString& dir) {
    QStringList out;
    const QDir d(dir);
    for (const QString& name : d.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        out.append(d.filePath(name));
    }
    return out;
}

// Contents of every mail saved whole in the folder, analysed or not.
inline QList<QByteArray> savedContents(const QString& folder) {
    QList<QByteArray> out;
    for (const char* part : {"/new", "/cur"}) {
        for (const QString& path : filesIn(folder + QString::fromLatin1(part))) {
            out.append(readFile(path));
        }
    }
    return out;
}

// A mail as the client stores it: POP3 cannot send a last line without its line end.
inline QByteArray asSaved(const QByteArray& content) {
    return content.isEmpty() || content.endsWith("\r\n") ? content : content + "\r\n";
}

// The promise of the fetch: the server was told to delete only mails that are on disk whole.
inline void expectDeletedOnlyWhatIsSaved(const QList<QByteArray>& deleted, const QString& folder) {
    QList<QByteArray> saved = savedContents(folder);
    for (const QByteArray& mail : deleted) {
        const qsizetype at = saved.indexOf(asSaved(mail));
        EXPECT_GE(at, 0) << "deleted on the server but not saved whole: "
                         << mail.left(60).toStdString();
        if (at >= 0) {
            saved.removeAt(at);
        }
    }
}

}  // namespace kervo::test
