#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "mail/pop/PopMailbox.h"
#include "support/MailFiles.h"
#include "support/Printing.h"

namespace kervo::test {

// Mails as the client stores them: POP3 cannot send a last line without its line end.
inline QList<QByteArray> asSaved(QList<QByteArray> mails) {
    for (QByteArray& mail : mails) {
        mail += mail.isEmpty() || mail.endsWith("\r\n") ? "" : "\r\n";
    }
    return mails;
}

// Fetches into a folder of its own.
class FetchTest : public ::testing::Test {
  protected:
    QString folder() const { return temp_.filePath(QStringLiteral("mail")); }
    static QList<QByteArray> saved(const FetchOutcome& outcome) {
        return contentsOf(outcome.files);
    }
    // Why the fetch stopped; empty when it did not.
    static QString failureOf(const FetchOutcome& outcome) {
        return outcome.ended.ok() ? QString() : outcome.ended.error().message;
    }

    QTemporaryDir temp_;
    PopMailbox mailbox_{folder()};
};

}  // namespace kervo::test
