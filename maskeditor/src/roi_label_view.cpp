#include "roi_label_view.h"

#include <QBrush>
#include <QMouseEvent>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace {

// Fill colours of bands and handles: the style paints a rubber band with the
// palette's Highlight colour.
void setFill(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setBrush(QPalette::All, QPalette::Highlight, QBrush(color, Qt::SolidPattern));
    widget->setPalette(palette);
}

// Top-left corners of the eight handles of a rectangle, in handle order.
std::array<QPoint, RoiLabelView::kHandleCount> handleCorners(const QRect& rect) {
    const int left = rect.left();
    const int top = rect.top();
    const int right = rect.left() + rect.width() - 1;
    const int bottom = rect.top() + rect.height() - 1;
    const int middleX = left + rect.width() / 2;
    const int middleY = top + rect.height() / 2;
    return {QPoint(left, top),
            QPoint(middleX - 4, top),
            QPoint(right - 7, top),
            QPoint(left, middleY - 4),
            QPoint(right - 7, middleY - 4),
            QPoint(left, bottom - 7),
            QPoint(middleX - 4, bottom - 7),
            QPoint(right - 7, bottom - 7)};
}

// Halves round upward, as the pointer sits between two pixels.
QPoint roundedPosition(const QPointF& position) {
    return QPoint(int(std::floor(position.x() + 0.5)), int(std::floor(position.y() + 0.5)));
}

Qt::CursorShape handleCursor(RoiLabelView::DragMode mode) {
    switch (mode) {
    case RoiLabelView::DragMode::TopLeft:
    case RoiLabelView::DragMode::BottomRight:
        return Qt::SizeFDiagCursor;
    case RoiLabelView::DragMode::TopMiddle:
    case RoiLabelView::DragMode::BottomMiddle:
        return Qt::SizeVerCursor;
    case RoiLabelView::DragMode::TopRight:
    case RoiLabelView::DragMode::BottomLeft:
        return Qt::SizeBDiagCursor;
    case RoiLabelView::DragMode::LeftMiddle:
    case RoiLabelView::DragMode::RightMiddle:
        return Qt::SizeHorCursor;
    default:
        return Qt::ArrowCursor;
    }
}

enum class EdgeChange { Unchanged, Low, High };

// One axis of a resize. The low edge (left/top) follows the pointer unless the
// side would drop below the minimum, in which case the rectangle keeps its low
// edge at the minimum size; the high edge (right/bottom) never passes the area.
void resizeAxis(EdgeChange change, int pointer, int limit, int& start, int& length) {
    switch (change) {
    case EdgeChange::Unchanged:
        return;
    case EdgeChange::Low: {
        const int edge = std::max(pointer, 0);
        const int newLength = start + length - edge;
        if (newLength < RoiLabelView::kMinimumSide) {
            length = RoiLabelView::kMinimumSide;
        } else {
            start = edge;
            length = newLength;
        }
        return;
    }
    case EdgeChange::High: {
        const int edge = std::min(pointer, limit);
        length = std::max(edge - start, RoiLabelView::kMinimumSide);
        return;
    }
    }
}

const QColor kReferenceMarker(140, 70, 0);
const QColor kReferenceFill(255, 150, 0);
const QColor kReferenceCurrentFill(200, 100, 0);

} // namespace

RoiLabelView::RoiLabelView(QWidget* parent) : QLabel(parent) {
    for (int id = 0; id < kEntryCount; ++id) {
        MaskEntry& entry = entries_[id];
        entry.nID = id;
        entry.band = new MyRubberBand(this);
        entry.band->hide();
        for (QRubberBand*& handle : entry.handles) {
            handle = new QRubberBand(QRubberBand::Rectangle, this);
            handle->resize(kHandleSize, kHandleSize);
            handle->hide();
        }
        setBandFill(entry, Qt::blue);
        setHandleFill(entry, Qt::green);
        entry.band->installEventFilter(this);
        for (QRubberBand* handle : entry.handles) {
            handle->installEventFilter(this);
        }
    }
}

void RoiLabelView::setBandFill(MaskEntry& entry, const QColor& color) {
    entry.bandFill = color;
    setFill(entry.band, color);
}

void RoiLabelView::setHandleFill(MaskEntry& entry, const QColor& color) {
    entry.handleFill = color;
    for (QRubberBand* handle : entry.handles) {
        setFill(handle, color);
    }
}

bool RoiLabelView::eventFilter(QObject* watched, QEvent* event) {
    // A style sheet re-polish (new window flags, a changed sheet) puts back
    // the palette a band had when it was first polished; its fill must stay.
    if (event->type() == QEvent::Polish || event->type() == QEvent::StyleChange) {
        for (MaskEntry& entry : entries_) {
            if (watched == entry.band) {
                setFill(entry.band, entry.bandFill);
            }
            for (QRubberBand* handle : entry.handles) {
                if (watched == handle) {
                    setFill(handle, entry.handleFill);
                }
            }
        }
    }
    return QLabel::eventFilter(watched, event);
}

QRect RoiLabelView::maskRect(int id) const {
    return validId(uint32_t(id)) ? entries_[id].band->geometry() : QRect();
}

bool RoiLabelView::maskEnabled(int id) const {
    return validId(uint32_t(id)) && entries_[id].bEnabled;
}

const MyRubberBand* RoiLabelView::band(int id) const {
    return validId(uint32_t(id)) ? entries_[id].band : nullptr;
}

const QRubberBand* RoiLabelView::handle(int id, int handleNumber) const {
    if (!validId(uint32_t(id)) || handleNumber < 0 || handleNumber >= kHandleCount) {
        return nullptr;
    }
    return entries_[id].handles[handleNumber];
}

void RoiLabelView::layoutHandles(MaskEntry& entry) {
    const auto corners = handleCorners(entry.band->geometry());
    for (int i = 0; i < kHandleCount; ++i) {
        entry.handles[i]->setGeometry(QRect(corners[i], QSize(kHandleSize, kHandleSize)));
    }
}

void RoiLabelView::moveHandles(MaskEntry& entry) {
    const auto corners = handleCorners(entry.band->geometry());
    for (int i = 0; i < kHandleCount; ++i) {
        entry.handles[i]->move(corners[i]);
    }
}

// The one rule for a mask's colours: the current mask dark red (its fill only when enabled), the
// others dark blue on blue when enabled, light gray on nothing when not. The reference's fill is
// orange when enabled.
void RoiLabelView::showLook(MaskEntry& entry, bool current) {
    if (entry.nID == kReferenceId) {
        // Orange, so the source is never taken for a mask.
        entry.band->setMarker(entry.nID, current ? QColor(Qt::darkRed) : kReferenceMarker, tr("REF"));
        setBandFill(entry, !entry.bEnabled ? QColor(Qt::transparent)
                           : current       ? kReferenceCurrentFill
                                           : kReferenceFill);
    } else if (current) {
        entry.band->setMarker(entry.nID, Qt::darkRed);
        setBandFill(entry, entry.bEnabled ? QColor(Qt::darkRed) : QColor(Qt::transparent));
    } else if (entry.bEnabled) {
        entry.band->setMarker(entry.nID, Qt::darkBlue);
        setBandFill(entry, Qt::blue);
    } else {
        entry.band->setMarker(entry.nID, Qt::lightGray);
        setBandFill(entry, Qt::transparent);
    }
}

void RoiLabelView::showMask(MaskEntry& entry) {
    showLook(entry, false);
    entry.band->show();
    for (QRubberBand* handle : entry.handles) {
        handle->show();
    }
}

void RoiLabelView::slotInitMaskInfo(uint32_t nID, bool bEnabled, QRect rect) {
    if (!validId(nID)) {
        return;
    }
    MaskEntry& entry = entries_[nID];
    entry.bEnabled = bEnabled;
    entry.band->setGeometry(rect);
    layoutHandles(entry);
    showMask(entry);
}

void RoiLabelView::slotSelMaskInfo(uint32_t nID) {
    if (!validId(nID)) {
        return;
    }
    if (current_ != nullptr) {
        showLook(*current_, false);
    }
    current_ = &entries_[nID];
    showLook(*current_, true);
    for (MaskEntry& entry : entries_) {
        setHandleFill(entry, Qt::darkGreen);
    }
    setHandleFill(*current_, Qt::red);
    selectionIndex_ = int16_t(nID);
}

void RoiLabelView::slotSetMaskInfo(uint32_t nID, bool bEnabled, QRect rect) {
    if (!validId(nID)) {
        return;
    }
    MaskEntry& entry = entries_[nID];
    entry.bEnabled = bEnabled;
    entry.band->setGeometry(rect);
    slotSelMaskInfo(nID);
    moveHandles(entry);
}

void RoiLabelView::deselectCurrent() {
    showLook(*current_, false);
    setHandleFill(*current_, Qt::darkGreen);
    current_ = nullptr;
    selectionIndex_ = -1;
}

void RoiLabelView::emitCurrent() {
    const QRect rect = current_->band->geometry();
    MaskInfo info;
    info.nID = uint16_t(current_->nID);
    info.bEnabled = current_->bEnabled ? 1 : 0;
    info.nX = uint16_t(rect.x());
    info.nY = uint16_t(rect.y());
    info.nWidth = uint16_t(rect.width());
    info.nHeight = uint16_t(rect.height());
    emit sigCurMaskInfo(info);
}

void RoiLabelView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    buttonDown_ = true;
    if (current_ != nullptr) {
        deselectCurrent();
    }
    const QPoint point = roundedPosition(event->localPos());
    const auto hit = std::find_if(entries_.begin(), entries_.end(), [&](const MaskEntry& entry) {
        return entry.band->geometry().contains(point);
    });
    if (hit == entries_.end()) {
        return;
    }
    slotSelMaskInfo(uint32_t(hit->nID));

    // A press between the handles of the border strip starts no resize: the
    // mode of an earlier drag must not carry over to this rectangle.
    dragMode_ = DragMode::None;
    for (int i = 0; i < kHandleCount; ++i) {
        if (hit->handles[i]->geometry().contains(point)) {
            dragMode_ = DragMode(i);
            break;
        }
    }
    setCursor(handleCursor(dragMode_));
    if (hit->band->geometry()
            .adjusted(kInnerMargin, kInnerMargin, -kInnerMargin, -kInnerMargin)
            .contains(point)) {
        setCursor(Qt::CrossCursor);
        dragMode_ = DragMode::Move;
        lastPointer_ = point;
    }
    emitCurrent();
}

void RoiLabelView::resizeCurrent(QPoint pointer) {
    EdgeChange horizontal = EdgeChange::Unchanged;
    EdgeChange vertical = EdgeChange::Unchanged;
    switch (dragMode_) {
    case DragMode::TopLeft:
        horizontal = EdgeChange::Low;
        vertical = EdgeChange::Low;
        break;
    case DragMode::TopMiddle:
        vertical = EdgeChange::Low;
        break;
    case DragMode::TopRight:
        horizontal = EdgeChange::High;
        vertical = EdgeChange::Low;
        break;
    case DragMode::LeftMiddle:
        horizontal = EdgeChange::Low;
        break;
    case DragMode::RightMiddle:
        horizontal = EdgeChange::High;
        break;
    case DragMode::BottomLeft:
        horizontal = EdgeChange::Low;
        vertical = EdgeChange::High;
        break;
    case DragMode::BottomMiddle:
        vertical = EdgeChange::High;
        break;
    case DragMode::BottomRight:
        horizontal = EdgeChange::High;
        vertical = EdgeChange::High;
        break;
    default:
        return;
    }
    const QRect before = current_->band->geometry();
    int left = before.x();
    int top = before.y();
    int width = before.width();
    int height = before.height();
    resizeAxis(horizontal, pointer.x(), this->width(), left, width);
    resizeAxis(vertical, pointer.y(), this->height(), top, height);
    current_->band->setGeometry(QRect(left, top, width, height));
}

void RoiLabelView::moveCurrent(QPoint pointer) {
    const QRect before = current_->band->geometry();
    const int left = before.x() + pointer.x() - lastPointer_.x();
    const int top = before.y() + pointer.y() - lastPointer_.y();
    if (left >= 0 && top >= 0 && left + before.width() <= width() && top + before.height() <= height()) {
        current_->band->move(left, top);
    }
    lastPointer_ = pointer;
}

void RoiLabelView::mouseMoveEvent(QMouseEvent* event) {
    if (current_ == nullptr || dragMode_ == DragMode::None) {
        return;
    }
    const QPoint pointer = roundedPosition(event->localPos());
    if (dragMode_ == DragMode::Move) {
        moveCurrent(pointer);
    } else {
        resizeCurrent(pointer);
    }
    moveHandles(*current_);
    emitCurrent();
}

void RoiLabelView::mouseReleaseEvent(QMouseEvent*) {
    buttonDown_ = false;
    current_ = nullptr;
    setCursor(Qt::ArrowCursor);
}
