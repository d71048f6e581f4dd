#pragma once
// The picture area of the mask editor: the scaled snapshot with the four mask
// rectangles and the reference source's, each with eight handles, moved and
// resized with the mouse.

#include "mask_info_meta_type.h"
#include "my_rubber_band.h"

#include <QLabel>
#include <QRect>
#include <QRubberBand>

#include <array>
#include <cstdint>

class RoiLabelView : public QLabel {
    Q_OBJECT

public:
    static constexpr int kMaskCount = 4;
    // The reference source's rectangle follows the masks: labelled "REF", in its own colour.
    static constexpr int kReferenceId = kMaskCount;
    static constexpr int kEntryCount = kMaskCount + 1;
    static constexpr int kHandleCount = 8;
    static constexpr int kHandleSize = 8;
    static constexpr int kMinimumSide = 20;
    static constexpr int kInnerMargin = 8;

    // What a held button does to the current mask: one of the eight handles
    // (numbered as Handle), or moving the whole rectangle.
    enum class DragMode : int {
        None = -1,
        TopLeft = 0,
        TopMiddle = 1,
        TopRight = 2,
        LeftMiddle = 3,
        RightMiddle = 4,
        BottomLeft = 5,
        BottomMiddle = 6,
        BottomRight = 7,
        Move = 8,
    };

    explicit RoiLabelView(QWidget* parent = nullptr);

    int selectionIndex() const { return selectionIndex_; }
    bool hasCurrentMask() const { return current_ != nullptr; }
    DragMode dragMode() const { return dragMode_; }
    QRect maskRect(int id) const;
    bool maskEnabled(int id) const;
    const MyRubberBand* band(int id) const;
    const QRubberBand* handle(int id, int handleNumber) const;

signals:
    void sigCurMaskInfo(MaskInfo info);

public slots:
    void slotInitMaskInfo(uint32_t nID, bool bEnabled, QRect rect);
    void slotSelMaskInfo(uint32_t nID);
    void slotSetMaskInfo(uint32_t nID, bool bEnabled, QRect rect);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct MaskEntry {
        int nID = 0;
        bool bEnabled = false;
        MyRubberBand* band = nullptr;
        std::array<QRubberBand*, kHandleCount> handles{};
        QColor bandFill;
        QColor handleFill;
    };

    static bool validId(uint32_t nID) { return nID < uint32_t(kEntryCount); }
    static void setBandFill(MaskEntry& entry, const QColor& color);
    static void setHandleFill(MaskEntry& entry, const QColor& color);
    void layoutHandles(MaskEntry& entry);
    void moveHandles(MaskEntry& entry);
    void showLook(MaskEntry& entry, bool current);
    void showMask(MaskEntry& entry);
    void deselectCurrent();
    void resizeCurrent(QPoint pointer);
    void moveCurrent(QPoint pointer);
    void emitCurrent();

    std::array<MaskEntry, kEntryCount> entries_;
    int16_t selectionIndex_ = -1;
    MaskEntry* current_ = nullptr;
    DragMode dragMode_ = DragMode::None;
    bool buttonDown_ = false;
    QPoint lastPointer_;
};
