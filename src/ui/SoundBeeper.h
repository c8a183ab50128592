#pragma once

#include <QObject>
#include <QUrl>

#include "app/Seams.h"

class QSoundEffect;

namespace kervo {

// The alarm's beep: a short bundled sound through the audio output, or the system beep where
// there is no audio output or the sound cannot be played.
class SoundBeeper : public QObject, public Beeper {
    Q_OBJECT
  public:
    explicit SoundBeeper(QObject* parent = nullptr);
    // Plays source instead of the bundled sound.
    SoundBeeper(const QUrl& source, QObject* parent);

    void beep() override;

  protected:
    virtual bool hasAudioOutput() const;
    virtual void systemBeep();

  private:
    // The effect is made on the first beep that has somewhere to go, so that a machine without
    // sound never loads the audio back end.
    QSoundEffect* effect();

    QUrl source_;
    QSoundEffect* effect_ = nullptr;
    bool beepPending_ = false;
};

}  // namespace kervo
