// The built-in pictures, the sample pictures in every format the settings may name, the beep.
#include <gtest/gtest.h>

#include <QDir>

#include "app/Pictures.h"
#include "ui/Artwork.h"
#include "ui/SoundBeeper.h"

using namespace kervo;

namespace {

TEST(Pictures, builtinAndSamplePngGifBmp_loadAtTheirDesignSizes) {
    const QDir samples(QStringLiteral(KERVO_SOURCE_DIR "/samples/img"));
    const auto sample = [&](const char* file) {
        const Result<QImage> picture = loadPicture(samples.filePath(QString::fromLatin1(file)));
        EXPECT_TRUE(picture.ok()) << file << ": " << picture.error().message.toStdString();
        return picture.ok() ? picture.value() : QImage();
    };
    const std::pair<QImage, QSize> cases[] = {
        {builtinSkin(), {678, 522}},           {builtinDial(), {95, 95}},
        {builtinEmblem(), {32, 32}},           {sample("back.png"), {678, 522}},
        {sample("backalarm.gif"), {678, 522}}, {sample("dial.bmp"), {95, 95}},
        {sample("dialalarm.gif"), {95, 95}}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].first.size(), cases[i].second) << i;
    }
}

class ProbedBeeper : public SoundBeeper {
  public:
    ProbedBeeper() : SoundBeeper(nullptr) {}
    int systemBeeps = 0;

  protected:
    bool hasAudioOutput() const override { return false; }
    void systemBeep() override { ++systemBeeps; }
};

TEST(SoundBeeper, noAudioOutput_fallsBackToTheSystemBeepEachTime) {
    ProbedBeeper beeper;
    beeper.beep();
    beeper.beep();
    EXPECT_EQ(beeper.systemBeeps, 2);
}

}  // namespace
