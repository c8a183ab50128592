#include <gtest/gtest.h>

#include <array>
#include <random>

#include "MimeFixtures.h"
#include "mail/mime/MimeReader.h"

namespace kervo {
namespace {

// Pieces that steer a mutated mail into the reader's less travelled paths.
const std::array<QByteArray, 10> kTokens = {
    QByteArray("=?ISO-2022-JP?B?"),
    QByteArray("?="),
    QByteArray("\x1b$B"),
    QByteArray("\x1b(B"),
    QByteArray("\r\n\r\n"),
    QByteArray("\r\n "),
    QByteArray("--XyZ\r\n"),
    QByteArray("Content-Type: multipart/mixed; boundary=XyZ\r\n"),
    QByteArray("Content-Transfer-Encoding: base64\r\n"),
    QByteArray("&#x"),
};

QByteArray mutate(QByteArray data, std::mt19937& random) {
    auto pick = [&random](qsizetype bound) {
        return bound <= 0
                   ? qsizetype(0)
                   : qsizetype(std::uniform_int_distribution<qsizetype>(0, bound - 1)(random));
    };
    const int steps = 1 + int(pick(8));
    for (int s = 0; s < steps; ++s) {
        const qsizetype at = pick(data.size() + 1);
        switch (pick(6)) {
            case 0:
                if (!data.isEmpty()) {
                    data[pick(data.size())] = char(pick(256));
                }
                break;
            case 1:
                data.insert(at, char(pick(256)));
                break;
            case 2:
                data.remove(at, pick(64));
                break;
            case 3:
                data.insert(at, data.mid(pick(data.size()), pick(200)));
                break;
            case 4:
                data.truncate(at);
                break;
            default:
                data.insert(at, kTokens[size_t(pick(qsizetype(kTokens.size())))]);
                break;
        }
    }
    return data;
}

bool hasBareLf(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) {
            return true;
        }
    }
    return false;
}

TEST(MimeRobustnessTest, mutatedMails_neverCrashAndKeepTextInvariants) {
    std::vector<QByteArray> seeds;
    for (const QString& path : test::fixtureMails()) {
        seeds.push_back(test::readFixture(path));
    }
    ASSERT_FALSE(seeds.empty());
    std::mt19937 random(20240917u);
    int read = 0;
    for (int i = 0; i < 3000; ++i) {
        const QByteArray raw = mutate(seeds[size_t(i) % seeds.size()], random);
        const auto texts = readMailBytes(raw, QStringLiteral("subject:"));
        if (texts) {
            ++read;
            ASSERT_FALSE(texts->header.contains(QChar(u'\0'))) << i;
            ASSERT_FALSE(texts->body.contains(QChar(u'\0'))) << i;
            ASSERT_FALSE(hasBareLf(texts->body)) << i;
        }
        ASSERT_FALSE(decodeHeaderValue(raw.left(300)).contains(QChar(u'\0'))) << i;
        ASSERT_FALSE(decodeUnlabelled(raw.right(300)).contains(QChar(u'\0'))) << i;
    }
    // Mutation must leave most mails readable, or the loop tests nothing but the parser's "no".
    EXPECT_GT(read, 1500);
}

}  // namespace
}  // namespace kervo
