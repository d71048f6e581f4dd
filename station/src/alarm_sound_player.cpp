#include "station/alarm_sound_player.h"

#include "threadaffinity/thread_affinity.h"

#include <QAudioDeviceInfo>
#include <QMetaObject>
#include <QSoundEffect>
#include <QUrl>

namespace calidra {

AlarmSoundPlayer::AlarmSoundPlayer(QObject* parent) : QObject(parent) {}

AlarmSoundPlayer::~AlarmSoundPlayer() {
    stop();
}

void AlarmSoundPlayer::requestPlay(const QString& soundFilePath) {
    QMetaObject::invokeMethod(this, "play", Qt::QueuedConnection, Q_ARG(QString, soundFilePath));
}

void AlarmSoundPlayer::requestStop() {
    QMetaObject::invokeMethod(this, "stop", Qt::QueuedConnection);
}

void AlarmSoundPlayer::play(const QString& soundFilePath) {
    CALIDRA_REQUIRE_OWNER_THREAD();
    // The effect is made on first use so a station that never alarms opens no audio device.
    if (effect_ == nullptr) {
        // Without a sound server the list may still hold a nameless device; the default tells.
        if (QAudioDeviceInfo::defaultOutputDevice().isNull()) {
            // Silence would pass for a working siren: say so once, and look again next time.
            if (!unavailableReported_ && reportUnavailable_)
                reportUnavailable_();
            unavailableReported_ = true;
            playingFile_ = soundFilePath;
            return;
        }
        effect_ = new QSoundEffect(this);
    }
    if (playingFile_ == soundFilePath && effect_->isPlaying())
        return;
    effect_->stop();
    effect_->setSource(QUrl::fromLocalFile(soundFilePath));
    effect_->setLoopCount(QSoundEffect::Infinite);
    effect_->play();
    playingFile_ = soundFilePath;
}

void AlarmSoundPlayer::stop() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    if (effect_ != nullptr)
        effect_->stop();
    playingFile_.clear();
}

} // namespace calidra
