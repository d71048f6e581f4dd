#pragma once
// The looping alarm sound. Lives on the GUI thread; the frame thread asks through the queued
// request functions. Where there is no audio device the sound is silently not heard.

#include <QObject>
#include <QString>

#include <functional>

class QSoundEffect;

namespace calidra {

class AlarmSoundPlayer : public QObject {
    Q_OBJECT
public:
    explicit AlarmSoundPlayer(QObject* parent = nullptr);
    ~AlarmSoundPlayer() override;

    // Safe from any thread: handed to the player's own thread.
    void requestPlay(const QString& soundFilePath);
    void requestStop();

    // What was last asked for: the file looping now, empty when stopped.
    QString playingFile() const { return playingFile_; }

    // Told once, at the first alarm that finds no audio output to play on.
    void setUnavailableReporter(std::function<void()> report) { reportUnavailable_ = std::move(report); }

public slots:
    void play(const QString& soundFilePath);
    void stop();

private:
    QSoundEffect* effect_ = nullptr;
    QString playingFile_;
    std::function<void()> reportUnavailable_;
    bool unavailableReported_ = false;
};

} // namespace calidra
