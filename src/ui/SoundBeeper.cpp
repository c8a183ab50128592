#include "ui/SoundBeeper.h"

#include <QApplication>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>

#include "ui/Artwork.h"

namespace kervo {

SoundBeeper::SoundBeeper(QObject* parent) : SoundBeeper(builtinAlarmSound(), parent) {}

SoundBeeper::SoundBeeper(const QUrl& source, QObject* parent) : QObject(parent), source_(source) {}

bool SoundBeeper::hasAudioOutput() const {
    return !QMediaDevices::audioOutputs().isEmpty();
}

void SoundBeeper::systemBeep() {
    QApplication::beep();
}

QSoundEffect* SoundBeeper::effect() {
    if (effect_ == nullptr) {
        effect_ = new QSoundEffect(this);
        effect_->setSource(source_);
        effect_->setVolume(0.8f);
        // A sound that turns out unplayable while a beep waits for it still gets its beep.
        connect(effect_, &QSoundEffect::statusChanged, this, [this] {
            if (effect_->status() == QSoundEffect::Error && beepPending_) {
                systemBeep();
            }
            if (effect_->status() != QSoundEffect::Loading) {
                beepPending_ = false;
            }
        });
    }
    return effect_;
}

void SoundBeeper::beep() {
    if (!hasAudioOutput()) {
        systemBeep();
        return;
    }
    QSoundEffect* sound = effect();
    if (sound->status() == QSoundEffect::Error) {
        systemBeep();
        return;
    }
    // While the sound is still loading, play() starts it as soon as it is ready.
    beepPending_ = sound->status() != QSoundEffect::Ready;
    sound->play();
}

}  // namespace kervo
