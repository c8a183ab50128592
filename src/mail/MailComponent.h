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

// The mailbox as the monitor sees it. One object serves the whole run.
class MailComponent {
  public:
    virtual ~MailComponent() = default;

    // Fetches every waiting mail into folder and removes from the server each mail saved safely.
    // Runs off the interface thread; never entered twice at once. Never throws.
    virtual FetchResult RcvMail(const QString& mailServer, const QString& mailUser,
                                const QString& mailPassword, const QString& command,
                                const QString& folder) = 0;

    // The decoded value of the named header (element 0) and the body text (element 1) of one
    // saved mail; nothing for a file that cannot be read. Never throws.
    virtual std::optional<QStringList> ReadMail(const QString& element, const QString& header,
                                                const QString& folder) = 0;

    // The mail has been analysed: it is no longer handed out again and may now be purged.
    virtual void MarkAnalysed(const QString& element, const QString& folder) = 0;

    // Deletes the analysed mails from the folder. Never touches a mail being fetched or one not
    // yet analysed.
    virtual void PurgeAnalysed(const QString& folder) = 0;
};

}  // namespace kervo
