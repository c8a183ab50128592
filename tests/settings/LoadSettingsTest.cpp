#include <gtest/gtest.h>

#include "SettingsFiles.h"
#include "settings/Settings.h"
#include "support/MonitorFixture.h"

using kervo::kDialCount;
using kervo::LoadSettings;
using kervo::LooseValue;
using kervo::SettingsError;
using kervo::test::Head;
using kervo::test::MonitorFixture;
using kervo::test::serverLines;
using kervo::test::SettingsFolder;

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

const QColor kBackColour(10, 20, 30);
const QColor kDialColour(200, 100, 50);

// A folder with both start-up pictures present, named the old way with backslashes.
struct PicturedFolder : SettingsFolder {
    PicturedFolder() {
        writePicture(u8("img/back.png"), QSize(40, 30), kBackColour);
        writePicture(u8("img/dial.png"), QSize(20, 20), kDialColour);
    }
    Head head() const {
        return Head{"img\\back.png", "img\\backalarm.png", "img\\dial.png", "img\\dialalarm.png"};
    }
};

TEST(LoadSettings, threeServerTwoRuleFiles_fillStateAndWindow) {
    PicturedFolder folder;
    folder.writeBoth(
        folder.head(),
        "\"R1\",\"changed\",\"Server A\",\"Server A: files changed, check at once\"\r\n"
        "R2,intrusion,login,Intrusion suspected\r\n",
        "\"Server A\",\"console.exe A\"\r\n\"Server B\",\"\"\r\n"
        "Server C,console.exe C\r\n");
    MonitorFixture f;
    const auto error = LoadSettings(f.context, folder.dir());
    ASSERT_FALSE(error.has_value()) << error->toText().toStdString();

    EXPECT_EQ(f.state.purgeLimit, LooseValue::fromNumber(120));
    EXPECT_EQ(f.state.mailServer, u8("pop.example.com"));
    EXPECT_EQ(f.state.mailUser, u8("watch"));
    EXPECT_EQ(f.state.mailPassword, u8("secret"));
    EXPECT_EQ(f.state.ruleCount, 2);
    EXPECT_TRUE(f.state.rules[0].tag.isEmpty());
    EXPECT_TRUE(f.state.rules[0].message.isEmpty());
    EXPECT_EQ(f.state.rules[1].message, u8("Server A: files changed, check at once"));
    EXPECT_EQ(f.state.rules[2].secondPattern.toText(), u8("login"));
    EXPECT_TRUE(f.state.rules[3].tag.isEmpty());
    EXPECT_EQ(f.state.serverCount, 2);
    EXPECT_EQ(f.state.servers[2].command.toText(), u8("console.exe C"));
    EXPECT_TRUE(f.state.servers[3].name.isEmpty());

    const char* captions[] = {"Server A", "Server B", "Server C"};
    for (int i = 0; i < kDialCount; ++i) {
        const auto& dial = f.form.dial(i);
        EXPECT_EQ(dial.visible, i <= 2) << i;
        if (i <= 2) {
            EXPECT_EQ(dial.caption, u8(captions[i])) << i;
        }
        ASSERT_FALSE(dial.picture.isNull()) << i;
        EXPECT_EQ(dial.picture.pixelColor(0, 0), kDialColour) << i;
    }
    EXPECT_EQ(f.form.backgroundPicture().size(), QSize(40, 30));
    EXPECT_EQ(f.form.backgroundPicture().pixelColor(0, 0), kBackColour);
}

TEST(LoadSettings, picturePaths_keptResolvedAgainstSettingsFolder) {
    PicturedFolder folder;
    const QString absolute = folder.path(u8("img/dial.png"));
    Head head = folder.head();
    head.dial = absolute.toUtf8();
    head.dialAlarm = "";
    folder.writeBoth(head, "", "");
    MonitorFixture f;
    ASSERT_FALSE(LoadSettings(f.context, folder.dir()).has_value());
    // The alarm loads these later, whatever the working folder is by then.
    EXPECT_EQ(f.state.backgroundPicture, folder.path(u8("img\\back.png")));
    EXPECT_EQ(f.state.alarmBackgroundPicture, folder.path(u8("img\\backalarm.png")));
    EXPECT_EQ(f.state.dialPicture, absolute);
    EXPECT_TRUE(f.state.dialAlarmPicture.isEmpty());
}

TEST(LoadSettings, emptyPictureLines_giveNoPictureWithoutError) {
    SettingsFolder folder;
    folder.writeBoth(Head{}, "", serverLines(1));
    MonitorFixture f;
    f.form.setBackgroundPicture(QImage(5, 5, QImage::Format_RGB32));
    for (int i = 0; i < kDialCount; ++i) {
        f.form.setDialPicture(i, QImage(5, 5, QImage::Format_RGB32));
    }
    ASSERT_FALSE(LoadSettings(f.context, folder.dir()).has_value());
    EXPECT_TRUE(f.form.backgroundPicture().isNull());
    for (int i = 0; i < kDialCount; ++i) {
        EXPECT_TRUE(f.form.dial(i).picture.isNull()) << i;
    }
}

TEST(LoadSettings, missingAlarmPictures_areNoErrorAtStart) {
    PicturedFolder folder;
    Head head = folder.head();
    head.alarmBackground = "nowhere/alarm.png";
    head.dialAlarm = "nowhere/dialalarm.png";
    folder.writeBoth(head, "", serverLines(1));
    MonitorFixture f;
    EXPECT_FALSE(LoadSettings(f.context, folder.dir()).has_value());
}

TEST(LoadSettings, fewerServersThanDials_othersKeepCaptionAndStayHidden) {
    SettingsFolder folder;
    folder.writeBoth(Head{}, "", "01,x\r\n\"02\",y\r\n");
    MonitorFixture f;
    for (int i = 0; i < kDialCount; ++i) {
        f.form.setDialVisible(i, true);
        f.form.setDialCaption(i, QStringLiteral("before %1").arg(i));
    }
    ASSERT_FALSE(LoadSettings(f.context, folder.dir()).has_value());
    EXPECT_EQ(f.state.serverCount, 1);
    EXPECT_EQ(f.form.dial(0).caption, u8("1"));
    EXPECT_EQ(f.form.dial(1).caption, u8("02"));
    for (int i = 2; i < kDialCount; ++i) {
        EXPECT_FALSE(f.form.dial(i).visible) << i;
        EXPECT_EQ(f.form.dial(i).caption, QStringLiteral("before %1").arg(i));
    }
}

TEST(LoadSettings, emptyServerFile_hidesEveryDial) {
    SettingsFolder folder;
    folder.writeBoth(Head{}, "", "");
    MonitorFixture f;
    for (int i = 0; i < kDialCount; ++i) {
        f.form.setDialVisible(i, true);
    }
    ASSERT_FALSE(LoadSettings(f.context, folder.dir()).has_value());
    EXPECT_EQ(f.state.serverCount, -1);
    EXPECT_EQ(f.state.ruleCount, 0);
    for (int i = 0; i < kDialCount; ++i) {
        EXPECT_FALSE(f.form.dial(i).visible) << i;
    }
}

TEST(LoadSettings, twelveServers_showEveryDial) {
    SettingsFolder folder;
    folder.writeBoth(Head{}, "", serverLines(12));
    MonitorFixture f;
    ASSERT_FALSE(LoadSettings(f.context, folder.dir()).has_value());
    EXPECT_EQ(f.state.serverCount, 11);
    for (int i = 0; i < kDialCount; ++i) {
        EXPECT_TRUE(f.form.dial(i).visible) << i;
        EXPECT_EQ(f.form.dial(i).caption, QStringLiteral("host-%1").arg(i));
    }
}

struct FailureCase {
    const char* name;
    void (*spoil)(PicturedFolder& folder);
    const char* file;
    int line;
};

class LoadFailure : public ::testing::TestWithParam<FailureCase> {};

// Every failure leaves the state and the window exactly as they were.
TEST_P(LoadFailure, badSettings_errorAndNothingChanged) {
    PicturedFolder folder;
    folder.writeBoth(folder.head(), "R1,a,b,c\r\n", serverLines(3));
    GetParam().spoil(folder);

    MonitorFixture f;
    f.state.mailServer = u8("before");
    f.state.purgeLimit = LooseValue::fromNumber(7);
    f.state.ruleCount = 1;
    f.state.rules[1].message = u8("old rule");
    f.state.serverCount = 0;
    f.state.servers[0].name = LooseValue::fromText(u8("old server"));
    f.state.dialPicture = u8("old.png");
    QImage marker(3, 3, QImage::Format_RGB32);
    marker.fill(Qt::green);
    f.form.setBackgroundPicture(marker);
    for (int i = 0; i < kDialCount; ++i) {
        f.form.setDialVisible(i, i % 2 == 0);
        f.form.setDialCaption(i, QStringLiteral("caption %1").arg(i));
        f.form.setDialPicture(i, marker);
    }

    const auto error = LoadSettings(f.context, folder.dir());
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->file, u8(GetParam().file));
    EXPECT_EQ(error->line, GetParam().line);

    EXPECT_EQ(f.state.mailServer, u8("before"));
    EXPECT_EQ(f.state.purgeLimit, LooseValue::fromNumber(7));
    EXPECT_EQ(f.state.ruleCount, 1);
    EXPECT_EQ(f.state.rules[1].message, u8("old rule"));
    EXPECT_EQ(f.state.serverCount, 0);
    EXPECT_EQ(f.state.servers[0].name.toText(), u8("old server"));
    EXPECT_TRUE(f.state.servers[1].name.isEmpty());
    EXPECT_EQ(f.state.dialPicture, u8("old.png"));
    EXPECT_EQ(f.form.backgroundPicture(), marker);
    for (int i = 0; i < kDialCount; ++i) {
        EXPECT_EQ(f.form.dial(i).visible, i % 2 == 0) << i;
        EXPECT_EQ(f.form.dial(i).caption, QStringLiteral("caption %1").arg(i)) << i;
        EXPECT_EQ(f.form.dial(i).picture, marker) << i;
    }
}

void withHead(PicturedFolder& folder, void (*change)(Head&)) {
    Head head = folder.head();
    change(head);
    folder.writeKervo(head.bytes() + "R1,a,b,c\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Failures, LoadFailure,
    ::testing::Values(
        FailureCase{
            "backgroundMissing",
            [](PicturedFolder& d) { withHead(d, [](Head& h) { h.background = "img\\gone.png"; }); },
            "kervo.ini", 1},
        FailureCase{"backgroundQuoted",
                    [](PicturedFolder& d) {
                        withHead(d, [](Head& h) { h.background = "\"img\\back.png\""; });
                    },
                    "kervo.ini", 1},
        FailureCase{"backgroundNotAPicture",
                    [](PicturedFolder& d) {
                        d.write(u8("img/back.png"), "this is text, not a picture\r\n");
                    },
                    "kervo.ini", 1},
        FailureCase{
            "dialMissing",
            [](PicturedFolder& d) { withHead(d, [](Head& h) { h.dial = "img/none.gif"; }); },
            "kervo.ini", 3},
        FailureCase{
            "ruleCutShort",
            [](PicturedFolder& d) { d.writeKervo(d.head().bytes() + "R1,a,b,c\r\nR2,a\r\n"); },
            "kervo.ini", 10},
        FailureCase{"thirteenServers", [](PicturedFolder& d) { d.writeServers(serverLines(13)); },
                    "server.ini", 13},
        FailureCase{"serverFileMissing",
                    [](PicturedFolder& d) { QFile::remove(d.path(u8("server.ini"))); },
                    "server.ini", 0},
        FailureCase{"serverCutShort", [](PicturedFolder& d) { d.writeServers("a,b\r\nc,d\r\ne"); },
                    "server.ini", 3}),
    [](const ::testing::TestParamInfo<FailureCase>& p) { return p.param.name; });

}  // namespace
