// The alarm sound: the bundled WAV is a real short beep, and without an audio output the
// system beep stands in.
#include <gtest/gtest.h>

#include <QFile>
#include <QtEndian>
#include <cstdlib>

#include "ui/Artwork.h"
#include "ui/SoundBeeper.h"

using namespace kervo;

namespace {

class ProbedBeeper : public SoundBeeper {
  public:
    explicit ProbedBeeper(bool output) : SoundBeeper(nullptr), output_(output) {}
    int systemBeeps = 0;

  protected:
    bool hasAudioOutput() const override { return output_; }
    void systemBeep() override { ++systemBeeps; }

  private:
    bool output_;
};

TEST(SoundBeeper, noAudioOutput_fallsBackToSystemBeepEachTime) {
    ProbedBeeper beeper(false);
    beeper.beep();
    beeper.beep();
    EXPECT_EQ(beeper.systemBeeps, 2);
}

TEST(AlarmSound, bundledWav_shortAudibleMonoPcm) {
    QFile file(QStringLiteral(":") + builtinAlarmSound().path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << builtinAlarmSound().toString().toStdString();
    const QByteArray wav = file.readAll();
    ASSERT_GT(wav.size(), 44);
    EXPECT_EQ(wav.left(4), QByteArray("RIFF"));
    EXPECT_EQ(wav.mid(8, 8), QByteArray("WAVEfmt "));
    const char* d = wav.constData();
    EXPECT_EQ(qFromLittleEndian<quint16>(d + 20), 1);  // PCM
    const auto channels = qFromLittleEndian<quint16>(d + 22);
    const auto rate = qFromLittleEndian<quint32>(d + 24);
    const auto bits = qFromLittleEndian<quint16>(d + 34);
    ASSERT_EQ(bits, 16);
    ASSERT_EQ(wav.mid(36, 4), QByteArray("data"));
    const auto bytes = qFromLittleEndian<quint32>(d + 40);
    ASSERT_LE(44 + qsizetype(bytes), wav.size());
    const double seconds = double(bytes) / (rate * channels * 2);
    EXPECT_GT(seconds, 0.15);
    EXPECT_LT(seconds, 0.6);
    int peak = 0;
    for (quint32 i = 0; i + 1 < bytes; i += 2) {
        peak = std::max(peak, std::abs(int(qFromLittleEndian<qint16>(d + 44 + i))));
    }
    EXPECT_GT(peak, 8000);
    EXPECT_LT(peak, 32767);  // no clipping
}

}  // namespace
