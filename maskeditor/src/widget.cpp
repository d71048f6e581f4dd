#include "widget.h"

#include "editor_files.h"
#include "reference_entry.h"
#include "ui_widget.h"

#include "files/file_io.h"
#include "maskfile/maskinfo.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPixmap>

#include <algorithm>
#include <cstring>

namespace {

// Far larger than any picture of a thermal camera; a larger file is not a snapshot.
constexpr std::size_t largestSnapshotBytes = 64u << 20;
constexpr std::size_t largestMaskFileBytes = 1u << 20;

QRect rectOf(const MaskInfo& info) {
    return QRect(info.nX, info.nY, info.nWidth, info.nHeight);
}

// Position bound: the rectangle of the stored width must stay inside the
// picture area. Text that is no number reads as 0. Writes the value used back
// into the edit so that it shows what the mask now has.
int boundedStart(QLineEdit* edit, int storedLength, int areaLength) {
    int value = edit->text().toInt();
    if (value < 0) {
        value = 0;
    } else if (value + storedLength > areaLength) {
        value = std::max(areaLength - storedLength, 0);
    }
    edit->setText(QString::number(value));
    return value;
}

int boundedLength(QLineEdit* edit, int minimumLength) {
    int value = edit->text().toInt();
    if (value < minimumLength) {
        value = minimumLength;
    }
    edit->setText(QString::number(value));
    return value;
}

} // namespace

Widget::Widget(const QString& applicationFolder, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::Widget>()), applicationFolder_(applicationFolder) {
    qRegisterMetaType<MaskInfo>("MaskInfo");
    qRegisterMetaType<uint32_t>("uint32_t");

    ui_->setupUi(this);

    setWindowTitle(tr("Calidra - Mask Setting"));
    ui_->laID->setText(tr("ID :"));
    ui_->laX->setText(tr("Start X :"));
    ui_->laY->setText(tr("Start Y :"));
    ui_->laW->setText(tr("Width :"));
    ui_->laH->setText(tr("Height :"));
    ui_->laEnabled->setText(tr("Enabled :"));
    ui_->btnApply->setText(tr("Apply"));
    for (QLabel* label : {ui_->laID, ui_->laX, ui_->laY, ui_->laW, ui_->laH, ui_->laEnabled}) {
        label->setStyleSheet(QStringLiteral("color : white"));
    }

    // Without a snapshot the size and both scale factors stay 0: the picture
    // area is empty and Apply leaves the file alone.
    QPixmap snapshot;
    QByteArray snapshotBytes;
    if (zonara::readRegularFile(zonara::snapshotFilePath(applicationFolder_), largestSnapshotBytes,
                                snapshotBytes))
        snapshot.loadFromData(snapshotBytes);
    snapshotWidth_ = snapshot.width();
    snapshotHeight_ = snapshot.height();
    const maskfile::EditorScale scale =
        maskfile::editorScale(snapshotWidth_, snapshotHeight_, ui_->laPic->width(), ui_->laPic->height());
    sx_ = scale.sx;
    sy_ = scale.sy;
    if (!snapshot.isNull()) {
        ui_->laPic->setPixmap(
            snapshot.scaled(ui_->laPic->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
    }

    connect(this, &Widget::sigInitMaskInfo, ui_->laPic, &RoiLabelView::slotInitMaskInfo,
            Qt::DirectConnection);
    connect(this, &Widget::sigSelMaskInfo, ui_->laPic, &RoiLabelView::slotSelMaskInfo, Qt::DirectConnection);
    connect(this, &Widget::sigSetMaskInfo, ui_->laPic, &RoiLabelView::slotSetMaskInfo, Qt::DirectConnection);
    connect(ui_->laPic, &RoiLabelView::sigCurMaskInfo, this, &Widget::slotCurMaskInfo, Qt::DirectConnection);

    for (int id = 0; id < maskfile::kMaskCount; ++id) {
        ui_->cmbID->addItem(QString::number(id));
    }
    ui_->cmbID->addItem(tr("REF"));
    for (QLineEdit* edit : {ui_->editX, ui_->editY, ui_->editW, ui_->editH}) {
        edit->installEventFilter(this);
    }

    loadMaskInfo();
    on_cmbID_activated(0);
}

Widget::~Widget() {
    for (QLineEdit* edit : {ui_->editX, ui_->editY, ui_->editW, ui_->editH}) {
        edit->removeEventFilter(this);
    }
}

maskfile::EditorScale Widget::editorScale() const {
    maskfile::EditorScale scale;
    scale.snapshotWidth = snapshotWidth_;
    scale.snapshotHeight = snapshotHeight_;
    scale.sx = sx_;
    scale.sy = sy_;
    return scale;
}

void Widget::loadMaskInfo() {
    QByteArray bytes;
    const bool opened =
        zonara::readRegularFile(zonara::maskFilePath(applicationFolder_), largestMaskFileBytes, bytes);
    bytes.truncate(int(maskfile::kFileBytes));
    maskInfo_ =
        maskfile::loadForEditor(opened ? reinterpret_cast<const uint8_t*>(bytes.constData()) : nullptr,
                                std::size_t(bytes.size()), editorScale());
    for (int id = 0; id < maskfile::kMaskCount; ++id) {
        const MaskInfo& info = maskInfo_[id];
        emit sigInitMaskInfo(uint32_t(id), info.bEnabled != 0, rectOf(info));
    }
    const zonara::LoadedReference reference =
        zonara::loadReference(applicationFolder_, editorScale(), ui_->laPic->width(), ui_->laPic->height());
    referenceInfo_ = reference.info;
    referenceFromFile_ = reference.fromFile;
    emit sigInitMaskInfo(uint32_t(RoiLabelView::kReferenceId), referenceInfo_.bEnabled != 0,
                         rectOf(referenceInfo_));
}

MaskInfo* Widget::entry(int index) {
    if (index == RoiLabelView::kReferenceId)
        return &referenceInfo_;
    return index >= 0 && index < maskfile::kMaskCount ? &maskInfo_[index] : nullptr;
}

void Widget::on_btnApply_clicked() {
    // The station reads the file on every frame, so it is replaced in one
    // step, never truncated and rewritten. Rectangles on an unknown snapshot
    // size would only be garbage to the station: without a snapshot the file
    // keeps what it had.
    if (hasSnapshot()) {
        const maskfile::MaskRecords saved = maskfile::saveForEditor(maskInfo_, editorScale());
        const maskfile::FileBytes bytes = maskfile::encodeRecords(saved);
        const QString path = zonara::maskFilePath(applicationFolder_);
        int error = 0;
        if (!calidra::files::writeFileAtomically(QFile::encodeName(path).toStdString(), bytes.data(),
                                                 bytes.size(), &error)) {
            // What the operator drew stays on the screen, so that Apply can be tried again.
            QMessageBox::warning(
                this, windowTitle(),
                tr("The masks could not be saved to %1:\n%2")
                    .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(error))));
            return;
        }
        if ((referenceFromFile_ || referenceInfo_.bEnabled != 0) &&
            !zonara::saveReference(applicationFolder_, referenceInfo_, editorScale(), &error)) {
            QMessageBox::warning(
                this, windowTitle(),
                tr("The reference could not be saved to %1:\n%2")
                    .arg(QDir::toNativeSeparators(zonara::referenceFilePath(applicationFolder_)),
                         QString::fromLocal8Bit(std::strerror(error))));
            return;
        }
    }
    loadMaskInfo();
    on_cmbID_activated(ui_->cmbID->currentIndex());
}

void Widget::on_cmbID_activated(int index) {
    const MaskInfo* info = entry(index);
    if (info == nullptr) {
        return;
    }
    slotCurMaskInfo(*info);
    emit sigSelMaskInfo(uint32_t(index));
}

void Widget::on_chkEnable_clicked(bool checked) {
    const int index = ui_->cmbID->currentIndex();
    MaskInfo* found = entry(index);
    if (found == nullptr) {
        return;
    }
    MaskInfo& info = *found;
    info.bEnabled = checked ? 1 : 0;
    emit sigSetMaskInfo(uint32_t(index), checked, rectOf(info));
}

void Widget::slotCurMaskInfo(MaskInfo info) {
    MaskInfo* stored = entry(info.nID);
    if (stored == nullptr) {
        return;
    }
    ui_->cmbID->setCurrentIndex(info.nID);
    ui_->chkEnable->setChecked(info.bEnabled != 0);
    ui_->editX->setText(QString::number(info.nX));
    ui_->editY->setText(QString::number(info.nY));
    ui_->editW->setText(QString::number(info.nWidth));
    ui_->editH->setText(QString::number(info.nHeight));
    *stored = info;
}

void Widget::keyPressEvent(QKeyEvent* event) {
    // Both Enter keys apply the typed values: laptops have no keypad.
    if (event->key() != Qt::Key_Enter && event->key() != Qt::Key_Return) {
        QWidget::keyPressEvent(event);
        return;
    }
    QWidget* focus = focusWidget();
    if (focus != ui_->editX && focus != ui_->editY && focus != ui_->editW && focus != ui_->editH) {
        return;
    }
    applyTypedValues();
}

bool Widget::eventFilter(QObject* watched, QEvent* event) {
    // A value typed and left is applied, not silently dropped at the next selection.
    if (event->type() == QEvent::FocusOut) {
        auto* edit = qobject_cast<QLineEdit*>(watched);
        if (edit != nullptr && edit->isModified()) {
            applyTypedValues();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Widget::applyTypedValues() {
    const int index = ui_->cmbID->currentIndex();
    MaskInfo* found = entry(index);
    if (found == nullptr) {
        return;
    }
    const bool ticked = ui_->chkEnable->isChecked();
    MaskInfo& info = *found;
    const int areaWidth = ui_->laPic->width();
    const int areaHeight = ui_->laPic->height();
    // The position bounds use the size stored before this key press.
    info.nX = uint16_t(boundedStart(ui_->editX, info.nWidth, areaWidth));
    info.nY = uint16_t(boundedStart(ui_->editY, info.nHeight, areaHeight));
    info.nWidth = uint16_t(boundedLength(ui_->editW, RoiLabelView::kMinimumSide));
    info.nHeight = uint16_t(boundedLength(ui_->editH, RoiLabelView::kMinimumSide));
    emit sigSetMaskInfo(uint32_t(index), ticked, rectOf(info));
}
