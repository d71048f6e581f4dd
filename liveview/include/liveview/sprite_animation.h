#pragma once
// A picture made of equally wide frames side by side, magenta showing as transparent; plays
// the frames in a loop or stands on the first.

#include <QImage>
#include <QTimer>
#include <QVector>
#include <QWidget>

namespace calidra {

class SpriteAnimation : public QWidget {
    Q_OBJECT
public:
    explicit SpriteAnimation(QWidget* parent = nullptr);

    // False when the file cannot be read or is narrower than one frame; the widget then stays empty.
    bool load(const QString& path, int frameWidth);

    void play(int frameIntervalMs);
    void stop(); // back to the first frame
    bool isPlaying() const { return timer_.isActive(); }
    int frameCount() const { return frames_.size(); }
    int currentFrame() const { return current_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void advance();

    QVector<QImage> frames_;
    int current_ = 0;
    QTimer timer_;
};

} // namespace calidra
