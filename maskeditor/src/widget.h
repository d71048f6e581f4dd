#pragma once
// The mask editor's window: the picture area with the four masks and the
// reference source's rectangle, the controls of the selected one, and Apply,
// which writes maskinfo.cfg and reference.cfg.

#include "mask_info_meta_type.h"

#include "maskfile/mask_conversions.h"

#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

namespace Ui {
class Widget;
}

class Widget : public QWidget {
    Q_OBJECT

public:
    // applicationFolder holds snapshot.jpg and maskinfo.cfg.
    explicit Widget(const QString& applicationFolder, QWidget* parent = nullptr);
    ~Widget() override;

    // Reads the mask file and the reference file (or the defaults) into the picture area.
    void loadMaskInfo();

    const MaskInfo& maskInfo(int id) const { return maskInfo_[id]; }
    const MaskInfo& referenceInfo() const { return referenceInfo_; }
    int snapshotWidth() const { return snapshotWidth_; }
    int snapshotHeight() const { return snapshotHeight_; }
    double scaleX() const { return sx_; }
    double scaleY() const { return sy_; }

signals:
    void sigInitMaskInfo(uint32_t nID, bool bEnabled, QRect rect);
    void sigSelMaskInfo(uint32_t nID);
    void sigSetMaskInfo(uint32_t nID, bool bEnabled, QRect rect);

public slots:
    void slotCurMaskInfo(MaskInfo info);
    void on_btnApply_clicked();
    void on_cmbID_activated(int index);
    void on_chkEnable_clicked(bool checked);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The four typed coordinates, bounded, onto the mask of the current ID.
    void applyTypedValues();
    maskfile::EditorScale editorScale() const;
    // A mask's or, past the masks, the reference's entry; nullptr for no such index.
    MaskInfo* entry(int index);
    bool hasSnapshot() const { return snapshotWidth_ > 0 && snapshotHeight_ > 0; }

    std::unique_ptr<Ui::Widget> ui_;
    QString applicationFolder_;
    maskfile::MaskRecords maskInfo_{};
    MaskInfo referenceInfo_{};
    // Apply writes reference.cfg once it was read or the reference is enabled, never a file the
    // operator did not ask for.
    bool referenceFromFile_ = false;
    int snapshotWidth_ = 0;
    int snapshotHeight_ = 0;
    double sx_ = 0.0;
    double sy_ = 0.0;
};
