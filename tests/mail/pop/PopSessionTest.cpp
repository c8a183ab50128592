#include <gtest/gtest.h>

#include <deque>

#include "mail/pop/PopSession.h"

namespace kervo {
namespace {

// A peer that answers from a list of chunks, then ends as told.
class ScriptedChannel final : public PopChannel {
  public:
    ScriptedChannel(std::deque<QByteArray> chunks, Received::Status end)
        : chunks_(std::move(chunks)), end_(end) {}

    QString sendAll(QByteArrayView bytes, int) override {
        sent.append(bytes.toByteArray());
        return {};
    }
    Received receive(char* buffer, qsizetype max, int) override {
        if (chunks_.empty()) {
            return {end_, 0, QStringLiteral("reset")};
        }
        QByteArray& front = chunks_.front();
        const qsizetype n = qMin(max, front.size());
        std::copy_n(front.constData(), n, buffer);
        front.remove(0, n);
        if (front.isEmpty()) {
            chunks_.pop_front();
        }
        received += n;
        return {Received::Status::Data, n, {}};
    }

    QByteArray sent;
    qsizetype received = 0;

  private:
    std::deque<QByteArray> chunks_;
    Received::Status end_;
};

class MemorySink final : public MailSink {
  public:
    explicit MemorySink(qsizetype failAfter = -1) : failAfter_(failAfter) {}
    bool write(const char* data, qsizetype size) override {
        if (failAfter_ >= 0 && bytes.size() + size > failAfter_) {
            return false;
        }
        bytes.append(data, size);
        return true;
    }
    QString failure() const override { return QStringLiteral("sink full"); }
    QByteArray bytes;

  private:
    qsizetype failAfter_;
};

PopSession session(ScriptedChannel& channel) {
    return PopSession(channel, PopTimeouts{100, 100, 100}, QStringLiteral("pop.test:110"));
}

TEST(PopSessionList, numbersAndSizes_areRead) {
    ScriptedChannel channel({"+OK 2 messages\r\n1 120\r\n", "2 30\r\n.\r\n"},
                            Received::Status::Closed);
    PopSession s = session(channel);
    std::vector<MailListing> listing;
    ASSERT_TRUE(s.list(listing).isEmpty());
    ASSERT_EQ(listing.size(), 2u);
    EXPECT_EQ(listing[0].number, 1);
    EXPECT_EQ(listing[0].size, 120);
    EXPECT_EQ(listing[1].number, 2);
    EXPECT_EQ(listing[1].size, 30);
    EXPECT_EQ(channel.sent, QByteArray("LIST\r\n"));
}

TEST(PopSessionList, malformedLine_isErrorButSessionStaysUsable) {
    ScriptedChannel channel({"+OK\r\n1 abc\r\n.\r\n"}, Received::Status::Closed);
    PopSession s = session(channel);
    std::vector<MailListing> listing;
    EXPECT_FALSE(s.list(listing).isEmpty());
    EXPECT_TRUE(s.usable());
}

TEST(PopSessionUidl, unreadableLines_areSkipped) {
    ScriptedChannel channel({"+OK\r\n1 abc\r\nnonsense\r\n3 def\r\n.\r\n"},
                            Received::Status::Closed);
    PopSession s = session(channel);
    std::map<int, QByteArray> ids;
    ASSERT_TRUE(s.uniqueIds(ids).isEmpty());
    EXPECT_EQ(ids, (std::map<int, QByteArray>{{1, "abc"}, {3, "def"}}));
}

TEST(PopSessionLines, overlongAnswerLine_isRefusedWithBoundedReading) {
    // The peer would go on for ever; the session must stop soon after its limit.
    std::deque<QByteArray> endless;
    for (int i = 0; i < 64; ++i) {
        endless.push_back(QByteArray(64 * 1024, 'x'));
    }
    ScriptedChannel channel(endless, Received::Status::Closed);
    PopSession s = session(channel);
    std::vector<MailListing> listing;
    const QString error = s.list(listing);
    EXPECT_TRUE(error.contains(QStringLiteral("longer than"))) << error.toStdString();
    EXPECT_FALSE(s.usable());
    EXPECT_LE(channel.received, PopSession::kMaxLine + 2 * 64 * 1024);
}

TEST(PopSessionRetrieve, sinkFailure_drainsMailAndKeepsSessionInStep) {
    ScriptedChannel channel({"+OK\r\n", QByteArray(100'000, 'a') + "\r\n.\r\n", "+OK gone\r\n"},
                            Received::Status::Closed);
    PopSession s = session(channel);
    MemorySink sink(1000);
    EXPECT_EQ(s.retrieve(1, sink, 1 << 20), QStringLiteral("sink full"));
    EXPECT_TRUE(s.usable());
    EXPECT_TRUE(s.remove(1).isEmpty());  // the answer after the mail is read as DELE's
    EXPECT_EQ(channel.sent, QByteArray("RETR 1\r\nDELE 1\r\n"));
}

TEST(PopSessionRetrieve, mailBeyondLimit_breaksSession) {
    ScriptedChannel channel({"+OK\r\n", QByteArray(5000, 'a') + "\r\n.\r\n"},
                            Received::Status::Closed);
    PopSession s = session(channel);
    MemorySink sink;
    EXPECT_TRUE(s.retrieve(1, sink, 4096).contains(QStringLiteral("larger than")));
    EXPECT_FALSE(s.usable());
}

TEST(PopSessionRetrieve, answersSplitAnywhere_giveUnstuffedMailAndNextAnswer) {
    const QByteArray wire = "+OK 20 octets\r\n..dot\r\nbody\r\n.\r\n+OK deleted\r\n";
    for (qsizetype split = 1; split < wire.size(); ++split) {
        ScriptedChannel channel({wire.left(split), wire.mid(split)}, Received::Status::Closed);
        PopSession s = session(channel);
        MemorySink sink;
        ASSERT_TRUE(s.retrieve(7, sink, 1 << 20).isEmpty()) << split;
        EXPECT_EQ(sink.bytes, QByteArray(".dot\r\nbody\r\n")) << split;
        EXPECT_TRUE(s.remove(7).isEmpty()) << split;
    }
}

TEST(PopSessionQuit, afterQuit_noCommandIsSent) {
    ScriptedChannel channel({"+OK bye\r\n"}, Received::Status::Closed);
    PopSession s = session(channel);
    EXPECT_TRUE(s.quit().isEmpty());
    EXPECT_FALSE(s.remove(1).isEmpty());
    EXPECT_EQ(channel.sent, QByteArray("QUIT\r\n"));
}

}  // namespace
}  // namespace kervo
