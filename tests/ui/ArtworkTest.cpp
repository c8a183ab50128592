// The alarm sound where the desktop has no audio output.
#include <gtest/gtest.h>

#include "ui/SoundBeeper.h"

using namespace kervo;

namespace {

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
