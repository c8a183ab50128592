// The start-up: both settings files read, checked and applied all at once, or not at all.
#include <gtest/gtest.h>

#include "Monitor.h"
#include "mail/ScriptedMailer.h"
#include "settings/SettingsFiles.h"
#include "support/MonitorFixture.h"

using namespace kervo;
using namespace Qt::StringLiterals;
using namespace kervo::test;

namespace {

// A monitor about to start, around a mail component that finds no mail.
struct Starting : MonitorFixture {
    kervo::test::ScriptedMailer mailer;
    Monitor monitor{window, mailer, Monitor::Seams{clock, beeper, starter, log}};
};

// Picture lines written with backslashes, as on the desktops the files often come from; the
// alarm pictures do not exist.
QByteArray pictureHead(const QByteArray& line1 = "img\\back.png",
                       const QByteArray& line3 = "img\\dial.png") {
    return head({{1, line1}, {2, "img\\gone.png"}, {3, line3}, {4, "img\\gone.png"}});
}

// Every dial shown or hidden as asked, with a caption and a picture to tell if they change.
void markDials(MonitorFixture& f, bool visible) {
    QImage marker(3, 3, QImage::Format_RGB32);
    marker.fill(Qt::green);
    f.window.setBackgroundPicture(marker);
    for (int i = 0; i < kDialCount; ++i) {
        f.window.setDialVisible(i, visible);
        f.window.setDialCaption(i, u"old %1"_s.arg(i));
        f.window.setDialPicture(i, marker);
    }
}

TEST(StartUp, exampleFiles_fillSettingsAndWindow) {
    SettingsFolder folder;
    folder.writePictures();
    const QString dial = folder.path(u"img/dial.png"_s);
    folder.writeBoth(pictureHead("img\\back.png", dial.toUtf8()) +
                         "R1,changed,\"Server A\",\"Server A: changed\"\r\nR2,x,login,y\r\n",
                     "\"Server A\",\"console.exe A\"\r\n\"Server B\",\"\"\r\n01,console.exe C\r\n");
    Starting f;
    markDials(f, true);
    const auto started = f.monitor.start(folder.dir());
    ASSERT_TRUE(started.ok()) << started.error().toText().toStdString();

    const kervo::Settings& s = f.monitor.settings();
    ASSERT_EQ(s.rules.size(), 2u);
    EXPECT_EQ(s.rules[0].message, u"Server A: changed"_s);
    ASSERT_EQ(s.servers.size(), 3u);
    EXPECT_EQ(s.servers[2].command.toText(), u"console.exe C"_s);
    // The alarm loads these later, whatever the working folder is by then.
    EXPECT_EQ(s.backgroundPicture, folder.path(u"img\\back.png"_s));
    EXPECT_EQ(s.alarmBackgroundPicture, folder.path(u"img\\gone.png"_s));
    EXPECT_EQ(s.dialPicture, dial);

    const char* captions[] = {"Server A", "Server B", "1"};
    for (int i = 0; i < kDialCount; ++i) {
        EXPECT_EQ(f.window.dial(i).visible, i < 3) << i;
        EXPECT_EQ(f.window.dial(i).caption,
                  i < 3 ? QString::fromUtf8(captions[i]) : u"old %1"_s.arg(i));
        EXPECT_EQ(f.window.dial(i).picture.pixelColor(0, 0), kDialColour) << i;
    }
    EXPECT_EQ(f.window.backgroundPicture().pixelColor(0, 0), kBackColour);
}

// Everything the start-up may show, as one text to compare before and after.
QString snapshot(const MonitorFixture& f) {
    QStringList out;
    out << QString::number(f.window.backgroundPicture().cacheKey());
    for (int i = 0; i < kDialCount; ++i) {
        const auto& dial = f.window.dial(i);
        out << QString::number(dial.visible) << dial.caption
            << QString::number(dial.picture.cacheKey());
    }
    return out.join(u'|');
}

TEST(StartUp, badSettings_errorAndNothingChangedOrStarted) {
    struct Failure {
        QByteArray kervo;
        QByteArray servers;
        const char* file;
        int line;
    };
    const QByteArray good = pictureHead() + "R1,a,b,c\r\n";
    for (const Failure& c : {
             Failure{pictureHead("\"img\\back.png\""), "", "kervo.ini", 1},
             Failure{pictureHead("img\\back.png", "img/none.gif"), "", "kervo.ini", 3},
             Failure{good, serverLines(13), "server.ini", 13},
         }) {
        SCOPED_TRACE(testing::Message() << c.file << " " << c.line);
        SettingsFolder folder;
        folder.writePictures();
        folder.writeBoth(c.kervo, c.servers);
        Starting f;
        markDials(f, false);
        f.window.setDialVisible(1, true);
        const QString before = snapshot(f);
        const auto started = f.monitor.start(folder.dir());
        ASSERT_FALSE(started.ok());
        EXPECT_EQ(started.error().file, QString::fromUtf8(c.file));
        EXPECT_EQ(started.error().line, c.line);
        EXPECT_EQ(snapshot(f), before);
        EXPECT_FALSE(f.monitor.isPolling());
        EXPECT_TRUE(f.mailer.calls.empty()) << "no poll before the settings are good";
    }
}

}  // namespace
