#include <gtest/gtest.h>

#include "SettingsFiles.h"
#include "settings/Settings.h"
#include "support/MonitorFixture.h"

using kervo::kDialCount;
using kervo::LoadSettings;
using kervo::test::head;
using kervo::test::kBackColour;
using kervo::test::kDialColour;
using kervo::test::MonitorFixture;
using kervo::test::serverLines;
using kervo::test::SettingsFolder;

namespace {

// Picture lines written the old way, with backslashes; the alarm pictures do not exist.
QByteArray pictureHead(const QByteArray& line1 = "img\\back.png",
                       const QByteArray& line3 = "img\\dial.png") {
    return head({{1, line1}, {2, "img\\gone.png"}, {3, line3}, {4, "img\\gone.png"}});
}

// Every dial shown or hidden as asked, with a caption and a picture to tell if they change.
void markDials(MonitorFixture& f, bool visible) {
    QImage marker(3, 3, QImage::Format_RGB32);
    marker.fill(Qt::green);
    f.form.setBackgroundPicture(marker);
    for (int i = 0; i < kDialCount; ++i) {
        f.form.setDialVisible(i, visible);
        f.form.setDialCaption(i, QStringLiteral("old %1").arg(i));
        f.form.setDialPicture(i, marker);
    }
}

TEST(LoadSettings, exampleFiles_fillStateAndWindow) {
    SettingsFolder folder;
    folder.writePictures();
    const QString dial = folder.path(QStringLiteral("img/dial.png"));
    folder.writeBoth(pictureHead("img\\back.png", dial.toUtf8()) +
                         "R1,changed,\"Server A\",\"Server A: changed\"\r\nR2,x,login,y\r\n",
                     "\"Server A\",\"console.exe A\"\r\n\"Server B\",\"\"\r\n01,console.exe C\r\n");
    MonitorFixture f;
    markDials(f, true);
    const auto error = LoadSettings(f.context, folder.dir());
    ASSERT_FALSE(error.has_value()) << error->toText().toStdString();

    EXPECT_EQ(f.state.ruleCount, 2);
    EXPECT_EQ(f.state.rules[1].message, QStringLiteral("Server A: changed"));
    EXPECT_EQ(f.state.serverCount, 2);
    EXPECT_EQ(f.state.servers[2].command.toText(), QStringLiteral("console.exe C"));
    // The alarm loads these later, whatever the working folder is by then.
    EXPECT_EQ(f.state.backgroundPicture, folder.path(QStringLiteral("img\\back.png")));
    EXPECT_EQ(f.state.alarmBackgroundPicture, folder.path(QStringLiteral("img\\gone.png")));
    EXPECT_EQ(f.state.dialPicture, dial);

    const char* captions[] = {"Server A", "Server B", "1"};
    for (int i = 0; i < kDialCount; ++i) {
        EXPECT_EQ(f.form.dial(i).visible, i < 3) << i;
        EXPECT_EQ(f.form.dial(i).caption,
                  i < 3 ? QString::fromUtf8(captions[i]) : QStringLiteral("old %1").arg(i));
        EXPECT_EQ(f.form.dial(i).picture.pixelColor(0, 0), kDialColour) << i;
    }
    EXPECT_EQ(f.form.backgroundPicture().pixelColor(0, 0), kBackColour);
}

TEST(LoadSettings, emptyPictureLines_noPicturesAndOneDialPerServer) {
    for (const int servers : {0, 12}) {
        SettingsFolder folder;
        folder.writeBoth(head(), serverLines(servers));
        MonitorFixture f;
        markDials(f, servers == 0);
        ASSERT_FALSE(LoadSettings(f.context, folder.dir()).has_value());
        EXPECT_EQ(f.state.serverCount, servers - 1);
        EXPECT_TRUE(f.form.backgroundPicture().isNull());
        for (int i = 0; i < kDialCount; ++i) {
            EXPECT_EQ(f.form.dial(i).visible, servers == 12) << i;
            EXPECT_TRUE(f.form.dial(i).picture.isNull()) << i;
        }
    }
}

// Everything LoadSettings may change, as one text to compare before and after.
QString snapshot(const MonitorFixture& f) {
    const auto& s = f.state;
    QStringList out;
    out << s.backgroundPicture << s.dialPicture << s.mailServer << s.purgeLimit.toText()
        << QString::number(s.ruleCount) << s.rules[1].message << QString::number(s.serverCount)
        << s.servers[0].name.toText() << QString::number(f.form.backgroundPicture().cacheKey());
    for (int i = 0; i < kDialCount; ++i) {
        const auto& dial = f.form.dial(i);
        out << QString::number(dial.visible) << dial.caption
            << QString::number(dial.picture.cacheKey());
    }
    return out.join(u'|');
}

TEST(LoadSettings, badSettings_errorAndNothingChanged) {
    struct Failure {
        QByteArray kervo;
        QByteArray servers;
        const char* file;
        int line;
    };
    const QByteArray good = pictureHead() + "R1,a,b,c\r\n";
    for (const Failure& c : {
             Failure{pictureHead("\"img\\back.png\""), "", "kervo.ini", 1},
             Failure{pictureHead("img\\text.png"), "", "kervo.ini", 1},
             Failure{pictureHead("img\\back.png", "img/none.gif"), "", "kervo.ini", 3},
             Failure{good + "R2,a\r\n", "", "kervo.ini", 10},
             Failure{good, serverLines(13), "server.ini", 13},
             Failure{good, "a,b\r\nc,d\r\ne", "server.ini", 3},
         }) {
        SCOPED_TRACE(testing::Message() << c.file << " " << c.line);
        SettingsFolder folder;
        folder.writePictures();
        folder.writeBoth(c.kervo, c.servers);
        MonitorFixture f;
        markDials(f, false);
        f.form.setDialVisible(1, true);
        const QString before = snapshot(f);
        const auto error = LoadSettings(f.context, folder.dir());
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->file, QString::fromUtf8(c.file));
        EXPECT_EQ(error->line, c.line);
        EXPECT_EQ(snapshot(f), before);
    }
}

}  // namespace
