#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "app/Result.h"

namespace kervo {

// Where the mail is fetched from: lines 6 to 8 of kervo.ini.
struct MailAccount {
    QString server;
    QString user;
    QString password;
};

// The two texts of a report that the alarm rules search.
struct ReportText {
    QString subject;  // decoded; empty when the mail has none
    QString body;     // as text, with CR LF line ends
};

// What one fetch achieved. Partial success is normal: the mails saved before a failure are
// listed and are to be analysed like any other. Every member has its default, so that an
// outcome can be written with only what matters, e.g. {files, Error{...}}.
struct FetchOutcome {
    // The saved mails in the order they are to be analysed: those saved by an earlier run but
    // never analysed come first. Empty when nothing waits.
    QStringList files{};
    // Ok when the fetch ran to its end; otherwise why it stopped early, which never includes
    // the password.
    Result<void> ended{};
    // Lines for the log, each said once and not at every poll: a mail that stays on the server
    // because it cannot be fetched, the log-on method when it is first used or changes.
    QStringList notices{};
    int withheld = 0;  // mails this poll left on the server because they cannot be fetched
};

// Told, on the fetching thread, of each group of mails as soon as it is saved safely: first those
// an earlier run saved but never analysed, then each batch, before its removal from the server is
// asked for. Together, in turn, they are the first entries of FetchOutcome::files, so that the
// reading can begin while the rest is still on its way.
using SavedMails = std::function<void(const QStringList& files)>;

// The mailbox as the monitor sees it. One object serves the whole run; the mail folder it saves
// into is given when it is made.
class Mailbox {
  public:
    virtual ~Mailbox() = default;

    // Fetches every waiting mail into the folder and removes from the server each mail saved
    // safely. Runs off the interface thread; never entered twice at once. Never throws.
    virtual FetchOutcome fetchAll(const MailAccount& account, const SavedMails& saved) = 0;
    FetchOutcome fetchAll(const MailAccount& account) { return fetchAll(account, {}); }

    // The subject and the body of one saved mail. A mail that can be read always gives them,
    // even when it is no well-formed message; the Error says why a file could not be read at
    // this moment (missing, out of file handles, a read error): such a mail is not analysed now
    // and is tried again at the next poll. May run on a worker thread, while the analysis of
    // earlier mails of the same poll goes on. Never throws.
    virtual Result<ReportText> readReport(const QString& file) = 0;

    // The mail has been analysed: it is no longer handed out again and may now be purged.
    virtual void markAnalysed(const QString& file) = 0;

    // Deletes the analysed mails from the folder. Never touches a mail being fetched or one not
    // yet analysed.
    virtual void purgeAnalysed() = 0;
};

}  // namespace kervo
