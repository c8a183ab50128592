#include <gtest/gtest.h>

#include "CampaignMail.h"

namespace kervo::faults {
namespace {

TEST(CampaignMail, anyNumberAndSize_isFoundAgainInDeliveredAndFetchedForm) {
    for (const int seq : {1, 42, 99'999}) {
        for (const qsizetype size : {0, 300, 70'000}) {
            const QByteArray mail = campaignMail(seq, size, 7);
            EXPECT_EQ(campaignSeq(mail), seq) << size;
            EXPECT_EQ(campaignSeq(asFetched(mail)), seq) << size;
            EXPECT_GE(mail.size(), size);
            EXPECT_FALSE(mail.contains('\r'));
        }
    }
}

TEST(CampaignMail, largeBody_carriesWhatDotStuffingMustUndo) {
    const QByteArray mail = campaignMail(3, 200'000, 11);
    EXPECT_TRUE(mail.contains("\n.\n"));
    EXPECT_TRUE(mail.contains("\n..two leading dots\n"));
    EXPECT_TRUE(mail.contains("\n.leading dot\n"));
    EXPECT_TRUE(mail.contains(QByteArray(900, 'x')));
}

TEST(CampaignMail, otherSaltOrNumber_givesOtherBytes) {
    const QByteArray base = campaignMail(5, 5'000, 1);
    EXPECT_EQ(campaignMail(5, 5'000, 1), base);
    EXPECT_NE(campaignMail(5, 5'000, 2), base);
    EXPECT_NE(campaignMail(6, 5'000, 1), base);
}

TEST(CampaignSeq, headerForms_areReadOnlyInTheHeaderBlock) {
    const std::vector<std::pair<QByteArray, std::optional<int>>> cases = {
        {"X-Kervo-Seq: 5\n\nbody\n", 5},
        {"Subject: a\r\nx-kervo-seq:7\r\n\r\n", 7},
        {"X-KERVO-SEQ:   12  \n", 12},
        {"Subject: a\n\nX-Kervo-Seq: 5\n", std::nullopt},
        {"X-Kervo-Seq: five\n", std::nullopt},
        {"X-Kervo-Seq:\n", std::nullopt},
        {"X-Kervo-Sequence: 5\n", std::nullopt},
        {"X-Kervo-Se", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [mail, seq] : cases) {
        EXPECT_EQ(campaignSeq(mail), seq) << mail.toStdString();
    }
}

TEST(AsFetched, lineEnds_becomeCrLfWithALastOne) {
    const std::vector<std::pair<QByteArray, QByteArray>> cases = {
        {"a\nb\n", "a\r\nb\r\n"}, {"a\r\nb", "a\r\nb\r\n"}, {"a", "a\r\n"}, {"", ""},
        {"\n\n", "\r\n\r\n"},     {".\n", ".\r\n"},
    };
    for (const auto& [delivered, fetched] : cases) {
        EXPECT_EQ(asFetched(delivered), fetched) << delivered.toStdString();
    }
}

TEST(MixedSizes, manyMails_coverEveryClassWithinBounds) {
    std::mt19937 random(3);
    const std::vector<qsizetype> sizes = mixedSizes(1'000, random);
    ASSERT_EQ(sizes.size(), 1'000u);
    int small = 0;
    int middle = 0;
    int large = 0;
    for (const qsizetype size : sizes) {
        ASSERT_GE(size, 200);
        ASSERT_LE(size, 1'500'000);
        small += size <= 4'000 ? 1 : 0;
        middle += size >= 20'000 && size <= 100'000 ? 1 : 0;
        large += size >= 500'000 ? 1 : 0;
    }
    EXPECT_GT(small, 500);
    EXPECT_GT(middle, 150);
    EXPECT_GT(large, 10);
}

}  // namespace
}  // namespace kervo::faults
