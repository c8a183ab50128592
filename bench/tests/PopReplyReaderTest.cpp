#include <gtest/gtest.h>

#include <QByteArray>
#include <QList>

#include "support/PopReplyReader.h"

namespace kervo::bench {
namespace {

struct Collected final : PopReplyHandler {
    QList<QByteArray> statuses;
    QList<bool> oks;
    QList<QByteArray> bodies;
    QByteArray current;
    bool inBody = false;

    void statusLine(bool ok, QByteArrayView line) override {
        statuses.append(line.toByteArray());
        oks.append(ok);
    }
    void bodyData(const char* data, qsizetype size) override {
        current.append(data, size);
        inBody = true;
    }
    void bodyEnd() override {
        bodies.append(current);
        current.clear();
        inBody = false;
    }
};

// The same pipelined stream must come out the same however the network cuts it.
struct Stream {
    const char* name;
    QByteArray bytes;
    int multiLine;
    int singleLine;
    QList<QByteArray> statuses;
    QList<QByteArray> bodies;
};

QList<Stream> streams() {
    return {
        {"plainMails",
         "+OK 12 octets\r\nSubject: a\r\n\r\nhi\r\n.\r\n+OK 9\r\nbody two\r\n.\r\n",
         2,
         0,
         {"+OK 12 octets", "+OK 9"},
         {"Subject: a\r\n\r\nhi\r\n", "body two\r\n"}},
        {"dotStuffedLines",
         "+OK\r\n..\r\n...x\r\n.y\r\na.b\r\n.\r\n",
         1,
         0,
         {"+OK"},
         {".\r\n..x\r\ny\r\na.b\r\n"}},
        {"refusedRetrievalHasNoBody",
         "-ERR no such message\r\n+OK\r\nz\r\n.\r\n",
         2,
         0,
         {"-ERR no such message", "+OK"},
         {"z\r\n"}},
        {"emptyBodyThenDeletes",
         "+OK 0\r\n.\r\n+OK deleted\r\n+OK bye\r\n",
         1,
         2,
         {"+OK 0", "+OK deleted", "+OK bye"},
         {""}},
        {"bareLineFeeds", "+OK\nline\n.\n", 1, 0, {"+OK"}, {"line\n"}},
        {"dotFollowedByCarriageReturnInsideLine",
         "+OK\r\n.\rx\r\n.\r\n",
         1,
         0,
         {"+OK"},
         {"\rx\r\n"}},
    };
}

TEST(PopReplyReader, everyChunkSize_decodesTheSameReplies) {
    for (const Stream& stream : streams()) {
        for (qsizetype chunk = 1; chunk <= stream.bytes.size(); ++chunk) {
            SCOPED_TRACE(std::string(stream.name) + " chunk " + std::to_string(chunk));
            Collected seen;
            PopReplyReader reader(seen);
            reader.expect(PopReplyReader::Kind::MultiLine, stream.multiLine);
            reader.expect(PopReplyReader::Kind::SingleLine, stream.singleLine);
            for (qsizetype at = 0; at < stream.bytes.size(); at += chunk) {
                const QByteArray piece = stream.bytes.mid(at, chunk);
                ASSERT_TRUE(reader.feed(piece.constData(), piece.size()))
                    << reader.error().toStdString();
            }
            EXPECT_EQ(reader.outstanding(), 0);
            EXPECT_EQ(seen.statuses, stream.statuses);
            EXPECT_EQ(seen.bodies, stream.bodies);
            EXPECT_FALSE(seen.inBody);
        }
    }
}

TEST(PopReplyReader, replyNotYetComplete_staysOutstanding) {
    Collected seen;
    PopReplyReader reader(seen);
    reader.expect(PopReplyReader::Kind::MultiLine, 2);
    const QByteArray bytes = "+OK\r\na\r\n.\r\n+OK\r\nb\r\n";
    ASSERT_TRUE(reader.feed(bytes.constData(), bytes.size()));
    EXPECT_EQ(reader.outstanding(), 1);
    EXPECT_EQ(seen.bodies.size(), 1);
}

TEST(PopReplyReader, malformedInput_isRefused) {
    const struct {
        const char* name;
        QByteArray bytes;
        int expected;
    } cases[] = {
        {"unknownStatus", "HELLO\r\n", 1},
        {"moreThanAskedFor", "+OK\r\n+OK\r\n", 1},
        {"nothingAskedFor", "+OK\r\n", 0},
        {"endlessStatusLine", "+OK " + QByteArray(PopReplyReader::kMaxStatusLine + 10, 'x'), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Collected seen;
        PopReplyReader reader(seen);
        reader.expect(PopReplyReader::Kind::SingleLine, c.expected);
        EXPECT_FALSE(reader.feed(c.bytes.constData(), c.bytes.size()));
        EXPECT_FALSE(reader.error().isEmpty());
    }
}

}  // namespace
}  // namespace kervo::bench
