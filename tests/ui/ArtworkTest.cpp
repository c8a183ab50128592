// The built-in pictures, and the sample settings with their pictures in every format the
// settings may name.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/Pictures.h"
#include "ui/Artwork.h"
#include "ui/MainWindow.h"

using namespace kervo;

namespace {

const QDir kSamples(QStringLiteral(KERVO_SOURCE_DIR "/samples"));

TEST(Artwork, builtinPictures_haveTheirDesignSizes) {
    EXPECT_EQ(builtinSkin().size(), QSize(678, 522));
    EXPECT_EQ(builtinDial().size(), QSize(95, 95));
    EXPECT_EQ(builtinEmblem().size(), QSize(32, 32));
    EXPECT_TRUE(builtinWindowIcon().availableSizes().contains(QSize(32, 32)));
}

TEST(Artwork, skin_opaqueInsideTheShapeOnly) {
    const QImage skin = builtinSkin();
    const QRegion shape = MainWindow::windowShape();
    for (const QPoint p : {QPoint(0, 0), QPoint(677, 0), QPoint(0, 518), QPoint(677, 518)}) {
        EXPECT_EQ(skin.pixelColor(p).alpha(), 0) << p.x() << "," << p.y();
    }
    // every pixel the window shows is covered, so the colour beneath never shows through
    for (int y = 0; y < 519; ++y) {
        for (int x = 0; x < 678; ++x) {
            if (shape.contains(QPoint(x, y))) {
                ASSERT_EQ(skin.pixelColor(x, y).alpha(), 255) << x << "," << y;
            }
        }
    }
}

TEST(Artwork, dialFace_leavesRoomForGreyAndGreenHands) {
    // Mid-radius, where most of a hand runs, the face must be light for the grey hand and must
    // not be green.
    const QImage dial = builtinDial();
    for (int x = 20; x <= 75; ++x) {
        const QColor c = dial.pixelColor(x, 60);
        EXPECT_GT(c.lightness(), 180) << x;
        EXPECT_FALSE(c.green() > 200 && c.red() < 100) << x;
    }
}

struct SamplePicture {
    const char* file;
    QSize size;
};

class SamplePictures : public ::testing::TestWithParam<SamplePicture> {};

TEST_P(SamplePictures, loadThroughThePictureLoader) {
    const PictureLoad load = loadPicture(kSamples.filePath(QString::fromLatin1(GetParam().file)));
    ASSERT_TRUE(load.ok()) << load.error.toStdString();
    EXPECT_EQ(load.image.size(), GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(Formats, SamplePictures,
                         ::testing::Values(SamplePicture{"img/back.png", {678, 522}},
                                           SamplePicture{"img/backalarm.gif", {678, 522}},
                                           SamplePicture{"img/dial.bmp", {95, 95}},
                                           SamplePicture{"img/dialalarm.gif", {95, 95}}));

QStringList crlfLines(const QString& name) {
    QFile file(kSamples.filePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_EQ(text.count(u'\n'), text.count(QStringLiteral("\r\n"))) << name.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n"))) << name.toStdString();
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast();
    return lines;
}

TEST(SampleSettings, kervoIni_namesExistingPicturesAndTheLocalMailbox) {
    const QStringList lines = crlfLines(QStringLiteral("kervo.ini"));
    ASSERT_GE(lines.size(), 9);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(loadPicture(kSamples.filePath(lines.at(i))).ok()) << lines.at(i).toStdString();
    }
    bool number = false;
    lines.at(4).toInt(&number);
    EXPECT_TRUE(number);
    EXPECT_EQ(lines.at(5), QStringLiteral("localhost"));
    EXPECT_EQ(lines.at(6), QStringLiteral("kervo"));
    EXPECT_EQ(lines.at(7), QStringLiteral("kervo"));
    for (qsizetype i = 8; i < lines.size(); ++i) {
        // four quoted fields, so commas inside a message cannot shift the rules
        EXPECT_EQ(lines.at(i).count(u'"'), 8) << lines.at(i).toStdString();
    }
}

TEST(SampleSettings, serverIni_fewServersEachWithACommand) {
    const QStringList lines = crlfLines(QStringLiteral("server.ini"));
    ASSERT_GE(lines.size(), 3);
    ASSERT_LE(lines.size(), kDialCount);
    for (const QString& line : lines) {
        EXPECT_EQ(line.count(u'"'), 4) << line.toStdString();
        EXPECT_TRUE(line.contains(QStringLiteral("ssh"))) << line.toStdString();
    }
}

}  // namespace
