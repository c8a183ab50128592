#include <gtest/gtest.h>

#include "mail/pop/DotDecoder.h"

namespace kervo {
namespace {

TEST(DotDecoder, anySplit_givesSameContentAndStopsAtTerminator) {
    const struct {
        QByteArray wire;     // what follows the +OK line
        QByteArray content;  // what the mail holds
        qsizetype consumed;  // bytes up to and including the terminator; -1: none yet
    } cases[] = {
        {".\r\n", "", 3},
        {"..hidden\r\n..\r\n...\r\n.\r\n", ".hidden\r\n.\r\n..\r\n", 22},
        {"a.b\r\n.x\r\n.\r\n", "a.b\r\nx\r\n", 12},
        {"a\n..b\n.\n", "a\n.b\n", 8},  // bare LF line ends
        {".\rx\r\n.\r\n", "\rx\r\n", 8},
        {"a\r\nb.\r\n.\r\n+OK next\r\n", "a\r\nb.\r\n", 10},
        {"a\r\n.", "a\r\n", -1},
        {QByteArray("\x00\xff\r\n.\r\n", 7), QByteArray("\x00\xff\r\n", 4), 7},
    };
    for (const auto& c : cases) {
        for (qsizetype split = 0; split <= c.wire.size(); ++split) {
            SCOPED_TRACE(c.wire.toStdString() + " split at " + std::to_string(split));
            DotDecoder decoder;
            QByteArray out;
            qsizetype consumed = decoder.feed(c.wire.constData(), split, out);
            if (!decoder.finished()) {
                consumed += decoder.feed(c.wire.constData() + split, c.wire.size() - split, out);
            }
            EXPECT_EQ(out, c.content);
            EXPECT_EQ(decoder.finished(), c.consumed >= 0);
            EXPECT_EQ(consumed, c.consumed >= 0 ? c.consumed : c.wire.size());
        }
    }
}

}  // namespace
}  // namespace kervo
