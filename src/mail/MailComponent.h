#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace kervo {

// What one RcvMail call achieved. files holds the saved mails in the order they are to be
// analysed (mails saved by an earlier run but never analysed come first); it is empty when
// nothing waits. error is empty on success; on failure it says what went wrong, and files still
// lists whatever was saved safely before the failure.
struct FetchResult {
    FetchResult() = default;
    FetchResult(std::optional<QStringList> savedFiles, QString failure)
        : files(std::move(savedFiles)), error(std::move(failure)) {}

    std::optional<QStringList> files;  // absent: "not an array", nothing to read
    QString error;
    // Lines for the log, each said once and not at every poll: a mail that stays on the server
    // because it cannot be fetched, the log-on method when it is first used or changes.
    QStringList notices;
    int withheld = 0;  // mails this poll left on the server because they cannot be fetched
    bool failed() const { return !error.isEmpty(); }
};

// What one ReadMail call found. A saved mail that can be read always gives its two texts, even
// when it is no well-formed message; error is set only when the file could not be read at this
// moment (missing, out of file handles, a read error): such a mail is not analysed now and is
// tried again at the next poll.
struct ReadResult {
    QString header;  // the decoded value of the asked header
    QString body;    // the body text
    QString error;   // empty when read; otherwise what went wrong, in words for the operator
    bool failed() const { return !error.isEmpty(); }
};

// The mailbox as the monitor sees it. One object serves the whole run.
class MailComponent {
  public:
    virtual ~MailComponent() = default;

    // Fetches every waiting mail into folder and removes from the server each mail saved safely.
    // Runs off the interface thread; never entered twice at once. Never throws.
    virtual FetchResult RcvMail(const QString& mailServer, const QString& mailUser,
                                const QString& mailPassword, const QString& command,
                                const QString& folder) = 0;

    // The decoded value of the named header and the body text of one saved mail, or why it
    // could not be read now. Runs off the interface thread, while the analysis of earlier mails
    // of the same poll goes on. Never throws.
    [[nodiscard]] virtual ReadResult ReadMail(const QString& element, const QString& header,
                                              const QString& folder) = 0;

    // The mail has been analysed: it is no longer handed out again and may now be purged.
    virtual void MarkAnalysed(const QString& element, const QString& folder) = 0;

    // Deletes the analysed mails from the folder. Never touches a mail being fetched or one not
    // yet analysed.
    virtual void PurgeAnalysed(const QString& folder) = 0;
};

}  // namespace kervo
