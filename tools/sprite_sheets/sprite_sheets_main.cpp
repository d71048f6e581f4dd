// sprite-sheets FOLDER: draws the options pane's two pictures as PNG sprite sheets, frames side
// by side on a magenta background that the pane shows as transparent.
//   alarm_animation.png  frames 207 pixels wide, played while the alarm sounds
//   pane_banner.png      frames 380 pixels wide, the still picture at the top of the pane
// and the same with Korean words, *_ko.png, which the pane shows in a Korean session.

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>

namespace {

const QColor transparentKey(255, 0, 255);

void drawThermometer(QPainter& painter, const QRectF& box, double level, const QColor& mercury) {
    const double bulbRadius = box.width() * 0.5;
    const QPointF bulbCentre(box.center().x(), box.bottom() - bulbRadius);
    const double tubeWidth = box.width() * 0.45;
    const QRectF tube(box.center().x() - tubeWidth / 2, box.top(), tubeWidth, box.height() - bulbRadius);
    QPainterPath outline;
    outline.addRoundedRect(tube, tubeWidth / 2, tubeWidth / 2);
    outline.addEllipse(bulbCentre, bulbRadius, bulbRadius);
    painter.setPen(QPen(QColor(40, 40, 40), 2));
    painter.setBrush(Qt::white);
    painter.drawPath(outline.simplified());
    painter.setPen(Qt::NoPen);
    painter.setBrush(mercury);
    painter.drawEllipse(bulbCentre, bulbRadius - 3, bulbRadius - 3);
    const double fillTop = tube.top() + 4 + (tube.height() - 4) * (1.0 - level);
    painter.drawRect(
        QRectF(tube.center().x() - tubeWidth / 4, fillTop, tubeWidth / 2, tube.bottom() - fillTop + 2));
}

// Eight frames: the first a dim plate, shown while all is quiet; then a red warning plate whose
// glow and mercury rise and fall, so the playing alarm blinks.
QImage alarmAnimation(const QString& word) {
    constexpr int frameWidth = 207;
    constexpr int frameHeight = 64;
    constexpr int frameCount = 8;
    QImage sheet(frameWidth * frameCount, frameHeight, QImage::Format_RGB32);
    sheet.fill(transparentKey);
    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int frame = 0; frame < frameCount; ++frame) {
        const double pulse = 0.5 - 0.5 * std::cos(2 * M_PI * frame / frameCount);
        const QRectF plate(frameWidth * frame + 4, 4, frameWidth - 8, frameHeight - 8);
        const bool quiet = frame == 0;
        QLinearGradient fill(plate.topLeft(), plate.bottomLeft());
        fill.setColorAt(0, quiet ? QColor(205, 205, 205)
                                 : QColor(255, int(90 + 80 * pulse), int(60 + 60 * pulse)));
        fill.setColorAt(1, quiet ? QColor(150, 150, 150) : QColor(int(170 + 60 * pulse), 0, 0));
        // Hard outer edges: a blended edge would leave a magenta fringe once keyed out.
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(quiet ? QColor(110, 110, 110) : QColor(110, 0, 0), 2));
        painter.setBrush(fill);
        painter.drawRoundedRect(plate, 10, 10);
        painter.setRenderHint(QPainter::Antialiasing, true);
        drawThermometer(painter, QRectF(plate.left() + 12, plate.top() + 6, 18, plate.height() - 12),
                        quiet ? 0.3 : 0.55 + 0.4 * pulse, quiet ? QColor(120, 120, 120) : QColor(200, 0, 0));
        QFont font(QStringLiteral("Sans Serif"));
        font.setPixelSize(26);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(quiet ? QColor(235, 235, 235) : frame % 2 == 0 ? Qt::white : QColor(255, 240, 200));
        painter.drawText(plate.adjusted(40, 0, -6, 0), Qt::AlignCenter, word);
    }
    return sheet;
}

// One frame: the product's name beside a thermometer over a cool-to-warm band.
QImage paneBanner(const QString& subtitleText) {
    constexpr int frameWidth = 380;
    constexpr int frameHeight = 72;
    QImage sheet(frameWidth, frameHeight, QImage::Format_RGB32);
    sheet.fill(transparentKey);
    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF band(2, 2, frameWidth - 4, frameHeight - 4);
    QLinearGradient fill(band.topLeft(), band.topRight());
    fill.setColorAt(0.0, QColor(20, 30, 120));
    fill.setColorAt(0.45, QColor(120, 20, 140));
    fill.setColorAt(0.8, QColor(230, 90, 20));
    fill.setColorAt(1.0, QColor(255, 220, 60));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(band, 12, 12);
    painter.setRenderHint(QPainter::Antialiasing, true);
    drawThermometer(painter, QRectF(18, 10, 22, frameHeight - 20), 0.7, QColor(220, 20, 20));
    QFont title(QStringLiteral("Sans Serif"));
    title.setPixelSize(30);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(56, 6, frameWidth - 64, 38), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Calidra"));
    QFont subtitle(QStringLiteral("Sans Serif"));
    subtitle.setPixelSize(14);
    painter.setFont(subtitle);
    painter.setPen(QColor(235, 235, 255));
    painter.drawText(QRectF(58, 42, frameWidth - 64, 20), Qt::AlignLeft | Qt::AlignVCenter, subtitleText);
    return sheet;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: sprite-sheets FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString korean = QString::fromUtf8("경보");
    const QString koreanSubtitle = QString::fromUtf8("열화상 발열 검사");
    if (!alarmAnimation(QStringLiteral("ALARM")).save(folder + "/alarm_animation.png") ||
        !paneBanner(QStringLiteral("Thermal fever screening")).save(folder + "/pane_banner.png") ||
        !alarmAnimation(korean).save(folder + "/alarm_animation_ko.png") ||
        !paneBanner(koreanSubtitle).save(folder + "/pane_banner_ko.png")) {
        std::fprintf(stderr, "sprite-sheets: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
