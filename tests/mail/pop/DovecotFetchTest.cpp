// The fetch against a real POP3 server.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "DovecotServer.h"
#include "PopTestSupport.h"
#include "mail/pop/PopMailComponent.h"

namespace kervo {
namespace {

using test::DovecotServer;

const QString kCommand = QStringLiteral("SAVEALLD");

// Mails are stored with LF ends; the server sends CRLF, and the client keeps what was sent.
QByteArray withCrlf(const QByteArray& lfText) {
    QByteArray out = lfText;
    out.replace("\n", "\r\n");
    return test::asSaved(out);
}

QByteArray report(int index) {
    return "From: checker@host" + QByteArray::number(index) + ".example\nSubject: host" +
           QByteArray::number(index) + " tamper report\n\nNo change on host " +
           QByteArray::number(index) + ".\n";
}

QList<QByteArray> contentsOf(const QStringList& files) {
    QList<QByteArray> out;
    for (const QString& path : files) {
        out.append(test::readFile(path));
    }
    return out;
}

class DovecotFetch : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const QString reason = DovecotServer::unavailableReason(); !reason.isEmpty()) {
            GTEST_SKIP() << reason.toStdString();
        }
        QString why;
        ASSERT_TRUE(server_.start(why)) << why.toStdString();
        component_.setTimeouts(PopTimeouts{20'000, 30'000, 30'000});
    }

    void deliver(const QList<QByteArray>& mails) {
        for (const QByteArray& mail : mails) {
            ASSERT_TRUE(server_.addMail(mail));
        }
    }

    QString plainAddress(const QString& query = {}) const {
        return QStringLiteral("127.0.0.1:%1").arg(server_.popPort()) + query;
    }

    FetchResult fetch(const QString& address, const QString& password) {
        return component_.RcvMail(address, QString::fromLatin1(DovecotServer::kUser), password,
                                  kCommand, folder());
    }
    FetchResult fetch(const QString& address) {
        return fetch(address, QString::fromLatin1(DovecotServer::kPassword));
    }

    QString folder() const { return temp_.filePath(QStringLiteral("mail")); }

    DovecotServer server_;
    QTemporaryDir temp_;
    PopMailComponent component_;
};

TEST_F(DovecotFetch, emptyMailbox_givesNoFilesAndNoError) {
    const FetchResult result = fetch(plainAddress());
    EXPECT_EQ(result.error, QString());
    EXPECT_TRUE(result.files.value_or(QStringList()).isEmpty());
}

TEST_F(DovecotFetch, manyMails_allSavedInServerOrderAndMailboxEmptied) {
    QList<QByteArray> sent;
    QList<QByteArray> expected;
    for (int i = 0; i < 200; ++i) {
        sent.append(report(i));
        expected.append(withCrlf(report(i)));
    }
    deliver(sent);
    const FetchResult result = fetch(plainAddress());
    EXPECT_EQ(result.error, QString());
    EXPECT_EQ(contentsOf(result.files.value_or(QStringList())), expected);
    EXPECT_EQ(server_.mailCount(), 0);
}

TEST_F(DovecotFetch, awkwardContent_isSavedByteExact) {
    const QList<QByteArray> sent = {
        "Subject: dots\n\n.\n..\n.leading\n...three\nend\n",
        "Subject: no final newline\n\nlast line without end",
        "Subject: long line\n\n" + QByteArray(100'000, 'L') + "\n",
        "Subject: a dot at the very end\n\ntext\n.",
    };
    deliver(sent);
    const FetchResult result = fetch(plainAddress());
    EXPECT_EQ(result.error, QString());
    QList<QByteArray> expected;
    for (const QByteArray& mail : sent) {
        expected.append(withCrlf(mail));
    }
    EXPECT_EQ(contentsOf(result.files.value_or(QStringList())), expected);
}

TEST_F(DovecotFetch, largeMail_arrivesWhole) {
    QByteArray big = "Subject: large report\n\n";
    const QByteArray line = QByteArray(75, 'x') + '\n';
    while (big.size() < 30 * 1024 * 1024) {
        big += line;
    }
    deliver({big});
    const FetchResult result = fetch(plainAddress());
    EXPECT_EQ(result.error, QString());
    ASSERT_EQ(result.files.value_or(QStringList()).size(), 1);
    const QByteArray saved = test::readFile(result.files->first());
    EXPECT_EQ(saved.size(), withCrlf(big).size());
    EXPECT_TRUE(saved == withCrlf(big));
    EXPECT_EQ(server_.mailCount(), 0);
}

TEST_F(DovecotFetch, apop_logsOnWithApop) {
    deliver({report(1)});
    const FetchResult result = fetch(plainAddress(QStringLiteral("?auth=apop")));
    EXPECT_EQ(result.error, QString());
    EXPECT_EQ(contentsOf(result.files.value_or(QStringList())),
              QList<QByteArray>{withCrlf(report(1))});
    EXPECT_TRUE(server_.log().contains(QStringLiteral("method=APOP")))
        << server_.log().toStdString();
}

TEST_F(DovecotFetch, wrongPassword_givesErrorWithoutPasswordAndDeletesNothing) {
    deliver({report(1), report(2)});
    const QString wrong = QStringLiteral("not-the-Password");
    const FetchResult result = fetch(plainAddress(), wrong);
    EXPECT_TRUE(result.error.contains(QStringLiteral("refused the log-on")))
        << result.error.toStdString();
    EXPECT_TRUE(result.error.contains(plainAddress())) << result.error.toStdString();
    EXPECT_FALSE(result.error.contains(wrong));
    EXPECT_TRUE(result.files.value_or(QStringList()).isEmpty());
    EXPECT_EQ(server_.mailCount(), 2);
}

struct TlsCase {
    const char* name;
    // %1 plain port, %2 POP3S port, %3 the CA file, %4 the server's key pin
    const char* address;
    bool trusted;
    const char* loginMark;  // what the server logs for such a log-on
};

class DovecotTls : public DovecotFetch, public ::testing::WithParamInterface<TlsCase> {};

TEST_P(DovecotTls, fetch_succeedsOnlyWhenServerIsTrusted) {
    const TlsCase& c = GetParam();
    // Large enough to span many TLS records, which the receiving side must drain in full.
    const QByteArray big = "Subject: big\n\n" + QByteArray(3 * 1024 * 1024, 'z') + "\n";
    deliver({report(7), big});
    QString address = QString::fromUtf8(c.address);
    address.replace(QStringLiteral("%1"), QString::number(server_.popPort()))
        .replace(QStringLiteral("%2"), QString::number(server_.popsPort()))
        .replace(QStringLiteral("%3"), server_.caFile())
        .replace(QStringLiteral("%4"), server_.pin());
    const FetchResult result = fetch(address);
    if (c.trusted) {
        EXPECT_EQ(result.error, QString());
        EXPECT_EQ(contentsOf(result.files.value_or(QStringList())),
                  (QList<QByteArray>{withCrlf(report(7)), withCrlf(big)}));
        EXPECT_EQ(server_.mailCount(), 0);
        EXPECT_TRUE(server_.log().contains(QString::fromUtf8(c.loginMark)))
            << server_.log().toStdString();
    } else {
        EXPECT_TRUE(result.error.contains(QStringLiteral("not trusted")))
            << result.error.toStdString();
        EXPECT_TRUE(result.files.value_or(QStringList()).isEmpty());
        EXPECT_EQ(server_.mailCount(), 2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Trust, DovecotTls,
    ::testing::Values(
        TlsCase{"stlsWithCaFile", "pop3+stls://127.0.0.1:%1?cafile=%3", true, ", TLS, "},
        TlsCase{"stlsByQuery", "127.0.0.1:%1?tls=starttls&cafile=%3", true, ", TLS, "},
        TlsCase{"pop3sWithCaFile", "pop3s://127.0.0.1:%2?cafile=%3", true, ", TLS, "},
        TlsCase{"pop3sWithPin", "pop3s://127.0.0.1:%2?pin=%4", true, ", TLS, "},
        TlsCase{"stlsApopWithPin", "pop3+stls://127.0.0.1:%1?pin=%4&auth=apop", true,
                "method=APOP"},
        TlsCase{"pop3sSystemStoreOnly", "pop3s://127.0.0.1:%2", false, ""},
        TlsCase{"stlsSystemStoreOnly", "pop3+stls://127.0.0.1:%1", false, ""},
        TlsCase{"pop3sWrongPin",
                "pop3s://127.0.0.1:%2?pin=sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=",
                false, ""}),
    [](const ::testing::TestParamInfo<TlsCase>& param) { return std::string(param.param.name); });

TEST_F(DovecotFetch, unanalysedMails_returnFirstAndSurviveThePurge) {
    deliver({report(1), report(2)});
    const FetchResult first = fetch(plainAddress());
    ASSERT_EQ(first.error, QString());
    ASSERT_EQ(first.files.value_or(QStringList()).size(), 2);

    // Only the first report is analysed before the next poll and the purge.
    component_.MarkAnalysed(first.files->at(0), folder());
    deliver({report(3)});
    component_.PurgeAnalysed(folder());

    const FetchResult second = fetch(plainAddress());
    EXPECT_EQ(second.error, QString());
    ASSERT_EQ(second.files.value_or(QStringList()).size(), 2);
    EXPECT_EQ(second.files->at(0), first.files->at(1));
    EXPECT_EQ(contentsOf(*second.files),
              (QList<QByteArray>{withCrlf(report(2)), withCrlf(report(3))}));
    EXPECT_FALSE(component_.ReadMail(first.files->at(0), QStringLiteral("subject:"), folder()));
}

TEST_F(DovecotFetch, readMail_givesSubjectAndBodyBeforeAndAfterMarking) {
    deliver({report(4)});
    const FetchResult result = fetch(plainAddress());
    ASSERT_EQ(result.files.value_or(QStringList()).size(), 1);
    const QString element = result.files->first();
    for (const bool marked : {false, true}) {
        if (marked) {
            component_.MarkAnalysed(element, folder());
        }
        const std::optional<QStringList> texts =
            component_.ReadMail(element, QStringLiteral("subject:"), folder());
        ASSERT_TRUE(texts.has_value()) << "marked " << marked;
        ASSERT_GE(texts->size(), 2);
        EXPECT_EQ(texts->at(0), QStringLiteral("host4 tamper report"));
        EXPECT_TRUE(texts->at(1).contains(QStringLiteral("No change on host 4.")));
    }
}

}  // namespace
}  // namespace kervo
