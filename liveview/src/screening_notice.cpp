#include "liveview/screening_notice.h"

#include <algorithm>

namespace calidra {
namespace {

// Readable at the camera's own 384 × 288 and not larger than needed on a big screen.
constexpr int noticeHeight = 34;
constexpr int noticeMargin = 8;
constexpr int noticePixelSize = 17;

} // namespace

ScreeningNotice::ScreeningNotice(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("screeningNotice"));
    setAlignment(Qt::AlignCenter);
    // The picture below keeps its double click.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setStyleSheet(QStringLiteral("QLabel { background: rgba(120, 0, 0, 200); color: white; "
                                 "font-weight: bold; font-size: %1px; border-radius: 4px; }")
                      .arg(noticePixelSize));
    hide();
}

void ScreeningNotice::setReferenceState(ReferenceState state) {
    switch (state) {
    case ReferenceState::Searching:
        setText(tr("Searching for the reference…"));
        break;
    case ReferenceState::Lost:
        setText(tr("Reference lost — screening paused"));
        break;
    default:
        setText(QString());
        hide();
        return;
    }
    placeOver(picture_);
    show();
    raise();
}

void ScreeningNotice::placeOver(const QRect& picture) {
    picture_ = picture;
    const int width = std::min(picture.width() - 2 * noticeMargin, sizeHint().width() + 24);
    setGeometry(picture.left() + (picture.width() - width) / 2,
                picture.bottom() - noticeHeight - 2 * noticeMargin, std::max(0, width), noticeHeight);
}

} // namespace calidra
