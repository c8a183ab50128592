// The IMAP fetch against a scripted server that fails where a real one rarely does.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>

#include "FakeImapServer.h"
#include "mail/imap/ImapMailbox.h"
#include "support/MailFiles.h"
#include "support/Printing.h"

namespace kervo {
namespace {

using namespace Qt::StringLiterals;
using test::contentsOf;
using test::FakeImapServer;
using test::FakeMessage;
using test::ImapFault;

// Messages by letter: 1, 2 and 3 are the reports; F is one another client marked \Deleted;
// X has the size of 1 and arrives when the mailbox is made anew.
const QByteArray kLetters = "123FX";
const QList<QByteArray> kContents = {
    "Subject: 1\r\n\r\none\r\n",          "Subject: 2\r\n\r\n" + QByteArray(300'000, 'b') + "\r\n",
    "Subject: 3\r\n\r\nno final newline", "Subject: F\r\n\r\nforeign\r\n",
    "Subject: X\r\n\r\none\r\n",
};

QString which(const QList<QByteArray>& mails) {
    QString out;
    for (const QByteArray& mail : mails) {
        const qsizetype at = kContents.indexOf(mail);
        out += at < 0 ? QChar(u'?') : QChar(char16_t(kLetters[at]));
    }
    return out;
}

enum Setup { Normal, NoUidPlus, Foreign, ForeignNoUidPlus, SmallLimit, Recreated };

struct FetchCase {
    const char* name;
    const char* mentions;   // in the error, or in the notices where the poll went on
    bool fails;             // whether the first poll reports an error
    const char* saved;      // the messages the first poll saved, e.g. "13"
    const char* remaining;  // the messages on the server after the first poll
    const char* savedNext;  // what the second poll, without faults, saves anew
    const char* remainingNext;
    Setup setup = Normal;
    std::vector<ImapFault> faults = {};
};

// The server's fault at the first command that begins with trigger.
std::vector<ImapFault> at(const QByteArray& trigger, const QByteArray& reply,
                          ImapFault::Then then = ImapFault::Go) {
    return {{trigger, reply, then}};
}

using kervo::test::PrintTo;

class ImapPoll : public ::testing::TestWithParam<FetchCase> {
  protected:
    QString remaining() const {
        QList<QByteArray> left;
        for (const FakeMessage& message : server_->messages()) {
            left.append(message.content);
        }
        return which(left);
    }

    QTemporaryDir temp_;
    ImapMailbox mailbox_{temp_.filePath(u"mail"_s)};
    std::unique_ptr<FakeImapServer> server_;
};

TEST_P(ImapPoll, poll_expungesOnlySavedMessagesAndLosesNone) {
    const FetchCase& c = GetParam();
    std::vector<FakeMessage> messages = {{kContents[0]}, {kContents[1]}, {kContents[2]}};
    if (c.setup == Foreign || c.setup == ForeignNoUidPlus) {
        messages.insert(messages.begin() + 1, {kContents[3], true});
    }
    server_ = std::make_unique<FakeImapServer>(messages, c.faults);
    ASSERT_NE(server_->port(), 0);
    if (c.setup == NoUidPlus || c.setup == ForeignNoUidPlus) {
        server_->withoutUidPlus();
    }
    mailbox_.setMaxMailBytes(c.setup == SmallLimit ? 1000 : 10'000'000);
    QStringList trace;
    mailbox_.setTrace([&trace](const QString& step) { trace.append(step); });
    const MailAccount account{u"imap://127.0.0.1:%1"_s.arg(server_->port()), u"u"_s, u"pw"_s};

    const FetchOutcome first = mailbox_.fetchAll(account);
    const QString said =
        (first.ended.ok() ? QString() : first.ended.error().message) + first.notices.join(u' ');
    EXPECT_EQ(first.ended.ok(), !c.fails) << said.toStdString();
    EXPECT_TRUE(said.contains(QString::fromLatin1(c.mentions))) << said.toStdString();
    EXPECT_EQ(which(contentsOf(first.files)), QString::fromLatin1(c.saved));
    EXPECT_EQ(remaining(), QString::fromLatin1(c.remaining));
    // A message is marked for removal only once it is durable in new/ and its UID on record.
    const qsizetype marked = trace.indexOf(QRegularExpression(u"^STORE"_s));
    if (marked >= 0 && !first.files.isEmpty()) {
        const qsizetype recorded = trace.indexOf(u"record uids"_s);
        EXPECT_TRUE(trace.indexOf(u"sync new/"_s) < recorded && recorded >= 0 && recorded < marked)
            << trace.join(u", "_s).toStdString();
    }

    if (c.setup == Recreated) {
        server_->recreate({{kContents[4]}, {kContents[1]}, {kContents[2]}});
    }
    const FetchOutcome second = mailbox_.fetchAll(account);
    QStringList fresh = second.files;
    for (const QString& file : first.files) {
        fresh.removeAll(file);
    }
    EXPECT_TRUE(second.ended.ok()) << second.ended.error().message.toStdString();
    EXPECT_EQ(which(contentsOf(fresh)), QString::fromLatin1(c.savedNext));
    EXPECT_EQ(remaining(), QString::fromLatin1(c.remainingNext));
    // Said once: the second poll does not repeat the first one's notice.
    if (!c.fails && *c.mentions != '\0') {
        EXPECT_FALSE(second.notices.join(u' ').contains(QString::fromLatin1(c.mentions)));
    }
}

const QByteArray kCutBody = "* 2 FETCH (UID 2 BODY[] {300020}\r\nSubject: 2\r\n\r\nbbbb";

INSTANTIATE_TEST_SUITE_P(
    Faults, ImapPoll,
    ::testing::Values(
        FetchCase{"noFault_allSavedAllExpunged", "", false, "123", "", "", ""},
        FetchCase{"noUidPlus_expungedWhenOnlyOursMarked", "", false, "123", "", "", "", NoUidPlus},
        FetchCase{"foreignDeletedWithUidPlus_onlyOursExpunged", "", false, "123", "F", "", "F",
                  Foreign},
        FetchCase{"foreignDeletedNoUidPlus_oursStayMarkedForeignSurvives", "another client", false,
                  "123", "1F23", "", "1F23", ForeignNoUidPlus},
        FetchCase{"cutInsideLiteral_savedKeptRestNextPoll", "closed", true, "1", "123", "23", "",
                  Normal, at("UID FETCH 2 ", kCutBody, ImapFault::Close)},
        FetchCase{"byeMidFetch_savedKeptRestNextPoll", "ended the session", true, "1", "123", "23",
                  "", Normal, at("UID FETCH 2 ", "* BYE shutting down\r\n", ImapFault::Close)},
        FetchCase{"messageVanished_othersFetched", "no longer there", false, "13", "2", "2", "",
                  Normal, at("UID FETCH 2 ", "TAG OK nothing\r\n")},
        FetchCase{"storeRefused_recordSparesSecondCopy", "refused", true, "123", "123", "", "",
                  Normal, at("UID STORE", "TAG NO read-only\r\n")},
        FetchCase{"cutBeforeExpunge_recordSparesSecondCopy", "closed", true, "123", "123", "", "",
                  Normal, at("UID EXPUNGE", "", ImapFault::Close)},
        FetchCase{"beyondSizeLimit_staysOnServer", "larger than the limit", false, "13", "2", "",
                  "2", SmallLimit},
        FetchCase{"uidValidityChanged_newMessageWithOldUidSaved", "refused", true, "123", "123",
                  "X23", "", Recreated, at("UID STORE", "TAG NO read-only\r\n")}),
    kervo::test::rowName);

}  // namespace
}  // namespace kervo
