#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "mail/pop/DotDecoder.h"

namespace kervo {
namespace {

struct DotCase {
    const char* name;
    QByteArray wire;     // what follows the +OK line
    QByteArray content;  // what the mail holds
    qsizetype consumed;  // bytes up to and including the terminator; -1: no terminator
};

// Feeds the wire in two pieces split at `split`, as the network may cut it anywhere.
QByteArray decodeSplit(const QByteArray& wire, qsizetype split, qsizetype& consumed,
                       bool& finished) {
    DotDecoder decoder;
    QByteArray out;
    consumed = decoder.feed(wire.constData(), split, out);
    if (!decoder.finished()) {
        consumed += decoder.feed(wire.constData() + split, wire.size() - split, out);
    }
    finished = decoder.finished();
    return out;
}

class DotDecoding : public ::testing::TestWithParam<DotCase> {};

TEST_P(DotDecoding, anySplit_givesSameContentAndStopsAtTerminator) {
    const DotCase& c = GetParam();
    for (qsizetype split = 0; split <= c.wire.size(); ++split) {
        qsizetype consumed = 0;
        bool finished = false;
        const QByteArray out = decodeSplit(c.wire, split, consumed, finished);
        EXPECT_EQ(out, c.content) << c.name << " split at " << split;
        EXPECT_EQ(finished, c.consumed >= 0) << c.name << " split at " << split;
        EXPECT_EQ(consumed, c.consumed >= 0 ? c.consumed : c.wire.size())
            << c.name << " split at " << split;
    }
}

TEST_P(DotDecoding, byteByByte_givesSameContent) {
    const DotCase& c = GetParam();
    DotDecoder decoder;
    QByteArray out;
    for (qsizetype i = 0; i < c.wire.size() && !decoder.finished(); ++i) {
        EXPECT_EQ(decoder.feed(c.wire.constData() + i, 1, out), 1) << c.name << " at " << i;
    }
    EXPECT_EQ(out, c.content) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, DotDecoding,
    ::testing::Values(DotCase{"empty mail", ".\r\n", "", 3},
                      DotCase{"plain lines", "a\r\nbc\r\n.\r\n", "a\r\nbc\r\n", 10},
                      DotCase{"stuffed dot", "..hidden\r\n.\r\n", ".hidden\r\n", 13},
                      DotCase{"stuffed lone dot", "x\r\n..\r\n.\r\n", "x\r\n.\r\n", 10},
                      DotCase{"double stuffed", "...\r\n.\r\n", "..\r\n", 8},
                      DotCase{"dot mid-line stays", "a.b\r\n.x\r\n.\r\n", "a.b\r\nx\r\n", 12},
                      DotCase{"bare LF lines", "a\n..b\n.\n", "a\n.b\n", 8},
                      DotCase{"dot then lone CR", ".\rx\r\n.\r\n", "\rx\r\n", 8},
                      DotCase{"bytes after the end stay", "a\r\n.\r\n+OK next\r\n", "a\r\n", 6},
                      DotCase{"no terminator yet", "a\r\n.", "a\r\n", -1},
                      DotCase{"CRLF.CRLF inside a line is data", "a\r\nb.\r\n.\r\n", "a\r\nb.\r\n",
                              10},
                      DotCase{"binary bytes", QByteArray("\x00\xff\r\n.\r\n", 7),
                              QByteArray("\x00\xff\r\n", 4), 7}),
    [](const ::testing::TestParamInfo<DotCase>& param) {
        std::string name;
        for (const char ch : std::string(param.param.name)) {
            name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return name;
    });

TEST(DotDecoderLongLine, megabyteLine_passesWhole) {
    QByteArray line(1 << 20, 'x');
    const QByteArray wire = line + "\r\n.\r\n";
    DotDecoder decoder;
    QByteArray out;
    for (qsizetype at = 0; at < wire.size(); at += 4096) {
        decoder.feed(wire.constData() + at, qMin<qsizetype>(4096, wire.size() - at), out);
    }
    EXPECT_TRUE(decoder.finished());
    EXPECT_EQ(out, line + "\r\n");
}

}  // namespace
}  // namespace kervo
