#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <random>

#include "mail/mime/MimeReader.h"

namespace kervo {
namespace {

// Pieces that steer a mutated mail into the reader's less travelled paths.
const QByteArray kTokens[] = {"=?ISO-2022-JP?B?",
                              "?=",
                              "\x1b$B",
                              "\r\n\r\n",
                              "\r\n ",
                              "--XyZ\r\n",
                              "Content-Type: multipart/mixed; boundary=XyZ\r\n",
                              "Content-Transfer-Encoding: base64\r\n",
                              "&#x"};

// A few random insertions (bytes, tokens, copies of the mail's own pieces) and removals.
QByteArray mutate(QByteArray data, std::mt19937& random) {
    const auto pick = [&random](qsizetype bound) {
        return bound <= 0 ? 0 : qsizetype(random() % quint32(bound));
    };
    for (int steps = 1 + int(pick(8)); steps > 0; --steps) {
        const qsizetype at = pick(data.size() + 1);
        const QByteArray pieces[] = {QByteArray(1, char(pick(256))),
                                     kTokens[pick(std::size(kTokens))],
                                     data.mid(pick(data.size()), pick(200))};
        if (pick(4) == 0) {
            data.remove(at, pick(64));
        } else {
            data.insert(at, pieces[pick(3)]);
        }
    }
    return data;
}

TEST(MimeRobustnessTest, mutatedMails_neverCrashAndKeepTextInvariants) {
    std::vector<QByteArray> seeds;
    const QDir dir(QStringLiteral(KERVO_TEST_DATA));
    for (const QString& name : dir.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        seeds.push_back(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    ASSERT_GT(seeds.size(), 10u);
    std::mt19937 random(20240917u);
    for (int i = 0; i < 1500; ++i) {
        const QByteArray raw = mutate(seeds[size_t(i) % seeds.size()], random);
        const MailTexts texts = readMailBytes(raw);
        ASSERT_FALSE(texts.subject.contains(QChar(u'\0')) || texts.body.contains(QChar(u'\0')))
            << i;
        // every line break in a body is CR LF
        ASSERT_EQ(texts.body.count(u'\n'), texts.body.count(QStringLiteral("\r\n"))) << i;
    }
}

}  // namespace
}  // namespace kervo
