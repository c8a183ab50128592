// The transitional adapter that copies what readSettings accepted onto the state and the window;
// it moves to the composition root with its test.
#include <gtest/gtest.h>

#include "settings/ApplySettings.h"
#include "support/MonitorFixture.h"

using kervo::kDialCount;
using kervo::LoadedSettings;
using kervo::LooseValue;

namespace {

QImage plain(QColor colour) {
    QImage image(3, 3, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

TEST(ApplySettings, servers_oneShownCaptionedDialEachTheRestHidden) {
    for (const int servers : {0, 3, 12}) {
        SCOPED_TRACE(servers);
        LoadedSettings loaded;
        loaded.background = plain(Qt::blue);
        loaded.dial = plain(Qt::red);
        loaded.settings.dialAlarmPicture = QStringLiteral("/settings/img/dialalarm.gif");
        loaded.settings.mailServer = QStringLiteral("pop.example.com");
        loaded.settings.rules = {{LooseValue(), LooseValue::fromText(QStringLiteral("changed")),
                                  LooseValue(), QStringLiteral("files changed")}};
        for (int i = 0; i < servers; ++i) {
            loaded.settings.servers.push_back({LooseValue::fromNumber(i), LooseValue()});
        }
        kervo::test::MonitorFixture f;
        for (int i = 0; i < kDialCount; ++i) {
            f.form.setDialVisible(i, servers == 0);  // every dial the opposite of what it should be
            f.form.setDialCaption(i, QStringLiteral("old"));
        }
        kervo::applySettings(f.context, loaded);

        for (int i = 0; i < kDialCount; ++i) {
            EXPECT_EQ(f.form.dial(i).visible, i < servers) << i;
            EXPECT_EQ(f.form.dial(i).caption,
                      i < servers ? QString::number(i) : QStringLiteral("old"))
                << i;
            EXPECT_EQ(f.form.dial(i).picture.pixelColor(0, 0), QColor(Qt::red)) << i;
        }
        EXPECT_EQ(f.form.backgroundPicture().pixelColor(0, 0), QColor(Qt::blue));
        EXPECT_EQ(f.state.serverCount, servers - 1);
        if (servers > 0) {
            EXPECT_EQ(f.state.servers[size_t(servers - 1)].name.toText(),
                      QString::number(servers - 1));
        }
        EXPECT_EQ(f.state.ruleCount, 1);
        EXPECT_EQ(f.state.rules[1].message, QStringLiteral("files changed"));
        EXPECT_EQ(f.state.dialAlarmPicture, loaded.settings.dialAlarmPicture);
        EXPECT_EQ(f.state.mailServer, loaded.settings.mailServer);
    }
}

}  // namespace
