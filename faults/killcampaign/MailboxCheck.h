#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

namespace kervo::faults {

// A file saved into the monitor's mail folder.
struct SavedMail {
    QString name;
    QByteArray bytes;
};

// What the two sides hold after a fetch was cut off.
struct Verdict {
    QList<int> lost;       // neither on the server nor saved whole: the one thing never allowed
    QStringList damaged;   // saved files that differ from the mail the server sent
    QStringList strays;    // saved files that belong to no mail of the campaign
    QMap<int, int> saves;  // how often each mail is saved whole
    int onBoth = 0;        // saved and still on the server (deletion not committed yet)

    int duplicates() const;  // whole copies beyond the first of each mail
    bool sound() const { return lost.isEmpty() && damaged.isEmpty() && strays.isEmpty(); }
    QString describe() const;
};

// expected: every mail that must survive, by its number, in the form the fetch saves it;
// onServer: the numbers still in the server's mailbox; saved: the mail folder's files.
Verdict judge(const QMap<int, QByteArray>& expected, const QSet<int>& onServer,
              const QList<SavedMail>& saved);

// The mail numbers in a maildir (new/, then cur/, so that a mail the server moves from one to
// the other meanwhile is still seen). Files that vanish while being read are not counted.
QSet<int> numbersInMaildir(const QString& maildir);

// The whole mails of the monitor's mail folder: new/ (not yet analysed) and cur/ (analysed).
// Drafts in tmp/ are not saved mail.
QList<SavedMail> savedMails(const QString& folder);

// Drafts the fetch left in the mail folder's tmp/.
int draftsIn(const QString& folder);

}  // namespace kervo::faults
