// The response reader against bytes split as a network splits them.
#include <gtest/gtest.h>

#include <QStringList>

#include "mail/imap/ImapSession.h"
#include "support/Printing.h"

namespace kervo {
namespace {

using namespace Qt::StringLiterals;

// Hands out the given pieces, one per receive, then reports the connection closed.
class PiecesChannel final : public MailChannel {
  public:
    explicit PiecesChannel(QList<QByteArray> pieces) : pieces_(std::move(pieces)) {}
    Result<void> sendAll(QByteArrayView /*bytes*/, int /*timeoutMs*/) override { return {}; }
    Received receive(char* buffer, qsizetype max, int /*timeoutMs*/) override {
        if (pieces_.isEmpty()) {
            return {Received::Status::Closed, 0, {}};
        }
        QByteArray& piece = pieces_.first();
        const qsizetype n = qMin(max, piece.size());
        std::copy_n(piece.constData(), n, buffer);
        piece.remove(0, n);
        if (piece.isEmpty()) {
            pieces_.removeFirst();
        }
        return {Received::Status::Data, n, {}};
    }

  private:
    QList<QByteArray> pieces_;
};

class StringSink final : public MailSink {
  public:
    Result<void> write(const char* data, qsizetype size) override {
        text.append(data, size);
        return {};
    }
    QByteArray text;
};

QByteArray render(const std::vector<ImapItem>& items) {
    QList<QByteArray> out;
    for (const ImapItem& item : items) {
        switch (item.kind) {
            case ImapItem::Kind::Atom:
                out.append(item.text);
                break;
            case ImapItem::Kind::String:
                out.append('"' + item.text + '"');
                break;
            case ImapItem::Kind::List:
                out.append('(' + render(item.items) + ')');
                break;
            case ImapItem::Kind::Nil:
                out.append("NIL");
                break;
            case ImapItem::Kind::Body:
                out.append("<body>");
                break;
        }
    }
    return out.join(' ');
}

// The response as one line: "tag|status|[code]|text|data".
QByteArray render(const ImapResponse& r) {
    const QByteArray kind = r.kind == ImapResponse::Kind::Continuation ? "+"
                            : r.kind == ImapResponse::Kind::Untagged   ? "*"
                                                                       : r.tag;
    return kind + '|' + r.status + "|[" + render(r.code) + "]|" + r.text + '|' + render(r.data);
}

struct ReaderCase {
    const char* name;
    QList<QByteArray> pieces;
    const char* expected;   // the rendering, or "lost: <what the error says>"
    const char* body = "";  // what reached the body sink
};

using kervo::test::PrintTo;

class ImapReader : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(ImapReader, piecesOfAResponse_giveItWholeOrLoseTheDialogue) {
    const ReaderCase& c = GetParam();
    PiecesChannel channel(c.pieces);
    ChannelReader in(channel, MailTimeouts{}, u"srv"_s);
    StringSink sink;
    const BodyTarget target = [&](qint64 size) -> Result<MailSink*> {
        if (size > 20) {
            return Error{u"too large here"_s};
        }
        return &sink;
    };
    const Result<ImapResponse> got = ImapResponseReader(in).read(u"test"_s, 1000, target, 100);
    const QByteArray outcome =
        got.ok() ? render(got.value()) : "lost: " + got.error().message.toUtf8();
    EXPECT_TRUE(QByteArray(c.expected).startsWith("lost: ")
                    ? outcome.startsWith("lost: ") &&
                          outcome.contains(QByteArray(c.expected).mid(6))
                    : outcome == c.expected)
        << outcome.toStdString();
    EXPECT_EQ(got.ok(), in.usable());
    EXPECT_EQ(sink.text, QByteArray(c.body));
}

const QByteArray kLongLine(ImapResponseReader::kMaxLine + 10, 'x');

INSTANTIATE_TEST_SUITE_P(
    Responses, ImapReader,
    ::testing::Values(
        ReaderCase{"statusWithCode_givesCodeAndText",
                   {"k1 OK [UIDVALIDITY 42] SELECT done\r\n"},
                   "k1|OK|[UIDVALIDITY 42]|SELECT done|"},
        ReaderCase{"literalSplitAcrossReads_givesWholeString",
                   {"* 1 FETCH (X {5}\r", "\nab", "cde Y)\r\n"},
                   "*||[]||1 FETCH (X \"abcde\" Y)"},
        ReaderCase{"nonSynchronisingLiteral_givesString",
                   {"* 1 FETCH (X {3+}\r\nabc)\r\n"},
                   "*||[]||1 FETCH (X \"abc\")"},
        ReaderCase{"quotedEscapes_giveTheCharacters",
                   {"* LIST (\\Noselect) \"/\" \"a \\\"b\\\" \\\\c\"\r\n"},
                   "*||[]||LIST (\\Noselect) \"/\" \"a \"b\" \\c\""},
        ReaderCase{"nestedListsAndNil_keptNested",
                   {"* 2 FETCH (FLAGS (\\Seen (a NIL)) BODY[HEADER.FIELDS (X Y)] \"\")\r\n"},
                   "*||[]||2 FETCH (FLAGS (\\Seen (a NIL)) BODY[HEADER.FIELDS (X Y)] \"\")"},
        ReaderCase{"bodyInPieces_streamsIntoSink",
                   {"* 1 FETCH (UID 3 BODY[] {10}\r\n01234", "56", "789 FLAGS ())\r\n"},
                   "*||[]||1 FETCH (UID 3 BODY[] <body> FLAGS ())",
                   "0123456789"},
        ReaderCase{"bodyTheSinkRefuses_isReadAndDropped",
                   {"* 1 FETCH (BODY[] {30}\r\n" + QByteArray(30, 'z') + ")\r\n"},
                   "*||[]||1 FETCH (BODY[] <body>)"},
        ReaderCase{"continuation_givesText", {"+ idling\r\n"}, "+||[]|idling|"},
        ReaderCase{
            "bodyBeyondLimit_refusedUnread", {"* 1 FETCH (BODY[] {101}\r\n"}, "lost: 101 bytes"},
        ReaderCase{
            "longLiteral_refusedUnread", {"* 1 FETCH (X {70000}\r\n"}, "lost: literal of 70000"},
        ReaderCase{"oversizedLine_refused", {kLongLine}, "lost: longer than"},
        ReaderCase{
            "cutInsideLiteral_lost", {"* 1 FETCH (BODY[] {10}\r\n0123"}, "lost: closed", "0123"},
        ReaderCase{"listLeftOpen_lost", {"* 1 FETCH (UID 3\r\n"}, "lost: no IMAP response"},
        ReaderCase{
            "literalNotAtLineEnd_lost", {"* 1 FETCH (X {3} abc)\r\n"}, "lost: no IMAP response"}),
    kervo::test::rowName);

}  // namespace
}  // namespace kervo
