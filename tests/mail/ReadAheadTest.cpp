#include <gtest/gtest.h>

#include "mail/ReadAhead.h"

using namespace kervo;
using namespace Qt::StringLiterals;

namespace {

ReadAhead::Mail mailWith(const QString& body) {
    return {u"mail"_s, ReportText{u"subject"_s, body}, {}};
}

// The texts of an analysed report wait for the reading thread to let them go; once the reading
// of the poll is over, they must not be kept until the next poll.
TEST(ReadAhead, textsGivenBack_letGoOnceTheReadingIsOver) {
    ReadAhead queue(4, 1024 * 1024);
    const QString body = QString(1000, u'x');
    bool wasEmpty = false;
    ASSERT_TRUE(queue.put(mailWith(body), wasEmpty));
    ReadAhead::Taken taken = queue.take();
    ASSERT_TRUE(taken.mail.has_value());
    queue.giveBack(std::move(*taken.mail));
    taken.mail.reset();
    EXPECT_FALSE(body.isDetached());  // still held, for the reading thread

    queue.close();
    EXPECT_TRUE(queue.take().drained);
    EXPECT_TRUE(body.isDetached());
}

// Wrapping the ring many times keeps the order and loses nothing.
TEST(ReadAhead, manyMoreMailsThanRoom_takenInOrder) {
    ReadAhead queue(3, 1024 * 1024);
    QStringList taken;
    for (int i = 0; i < 10; ++i) {
        bool wasEmpty = false;
        ASSERT_TRUE(queue.put(mailWith(QString::number(i)), wasEmpty));
        if (i % 2 == 1) {
            for (ReadAhead::Taken next = queue.take(); next.mail; next = queue.take()) {
                taken.append(next.mail->read.value().body);
                queue.giveBack(std::move(*next.mail));
            }
        }
    }
    EXPECT_EQ(taken, QStringList({u"0"_s, u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s,
                                  u"8"_s, u"9"_s}));
}

}  // namespace
