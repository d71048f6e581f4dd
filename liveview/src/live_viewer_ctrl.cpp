#include "liveview/live_viewer_ctrl.h"

#include "pipeline/palettes.h"
#include "pipeline/temperature_scale.h"
#include "settings/field_text.h"
#include "settings/settings_store.h"

#include <QAbstractScrollArea>
#include <QComboBox>
#include <QScrollBar>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <limits>

namespace calidra {
namespace {

constexpr int largeReadoutPointSize = 35;

// Row geometry of the option group, in pane pixels.
constexpr int labelLeft = 22;
constexpr int labelWidth = 150;
constexpr int controlLeft = 176;
constexpr int controlWidth = 120;
constexpr int sideLeft = 302;
constexpr int sideWidth = 76;
constexpr int firstRowTop = 262;
constexpr int rowStep = 32;
constexpr int rowHeight = 26;

int rowTop(int row) {
    return firstRowTop + row * rowStep;
}

QString oneDecimal(double value) {
    return QString::asprintf("%.1f", value);
}

TemperatureUnit unitOf(int paneUnit) {
    return paneUnit == 1 ? TemperatureUnit::Fahrenheit : TemperatureUnit::Celsius;
}

} // namespace

CLiveViewerCtrl::CLiveViewerCtrl(OptionsPaneOwner& owner, OptionsStore& store, QWidget* parent)
    : QWidget(parent), owner_(owner), store_(store) {
    setObjectName(QStringLiteral("LiveViewerCtrl"));
    buildControls();
}

void CLiveViewerCtrl::buildControls() {
    const auto label = [this](const QString& text, const QRect& geometry, QWidget* parent = nullptr) {
        auto* created = new QLabel(text, parent != nullptr ? parent : this);
        created->setGeometry(geometry);
        return created;
    };
    const auto list = [this](int row) {
        auto* created = new QComboBox(this);
        created->setGeometry(controlLeft, rowTop(row), controlWidth, rowHeight);
        return created;
    };
    const auto field = [this](int row) {
        auto* created = new QLineEdit(this);
        created->setGeometry(controlLeft, rowTop(row), controlWidth, rowHeight);
        return created;
    };

    banner_ = new SpriteAnimation(this);
    banner_->setGeometry(10, 5, 380, 72);
    largeReadout_ = label(QString(), QRect(10, 82, 380, 60));
    largeReadout_->setAlignment(Qt::AlignCenter);
    QFont large = largeReadout_->font();
    large.setPointSize(largeReadoutPointSize);
    large.setBold(true);
    largeReadout_->setFont(large);
    maximumReadout_ = label(tr("Max Temp.") + QStringLiteral(" :"), QRect(22, 146, 176, 22));
    minimumReadout_ = label(tr("Min Temp.") + QStringLiteral(" :"), QRect(206, 146, 176, 22));
    alarmAnimation_ = new SpriteAnimation(this);
    alarmAnimation_->setGeometry(96, 172, 207, 64);

    optionGroup_ = new QGroupBox(tr("Option :"), this);
    optionGroup_->setGeometry(10, 240, 380, rowTop(10) - 240 + 8);
    optionGroup_->lower();

    label(tr("Temp Unit :"), QRect(labelLeft, rowTop(0), labelWidth, rowHeight));
    unitList_ = list(0);
    label(tr("Temp Mode :"), QRect(labelLeft, rowTop(1), labelWidth, rowHeight));
    modeList_ = list(1);
    offsetField_ = new QLineEdit(this);
    offsetField_->setGeometry(sideLeft, rowTop(1), sideWidth, rowHeight);
    measureButton_ = new QPushButton(tr("Measure"), this);
    measureButton_->setGeometry(sideLeft, rowTop(1), sideWidth, rowHeight);
    label(tr("Palette Color :"), QRect(labelLeft, rowTop(2), labelWidth, rowHeight));
    paletteList_ = list(2);
    label(tr("Font Size :"), QRect(labelLeft, rowTop(3), labelWidth, rowHeight));
    fontList_ = list(3);
    label(tr("Detection Temp :"), QRect(labelLeft, rowTop(4), labelWidth, rowHeight));
    detectionField_ = field(4);
    detectionUnitLabel_ = label(QStringLiteral("C"), QRect(sideLeft, rowTop(4), sideWidth, rowHeight));
    label(tr("Alarm Temp :"), QRect(labelLeft, rowTop(5), labelWidth, rowHeight));
    alarmField_ = field(5);
    alarmUnitLabel_ = label(QStringLiteral("C"), QRect(sideLeft, rowTop(5), sideWidth, rowHeight));
    label(tr("Alarm Save Interval :"), QRect(labelLeft, rowTop(6), labelWidth, rowHeight));
    savePeriodField_ = field(6);
    label(tr("sec"), QRect(sideLeft, rowTop(6), sideWidth, rowHeight));
    label(tr("NUC Interval :"), QRect(labelLeft, rowTop(7), labelWidth, rowHeight));
    nucField_ = new QLineEdit(this);
    nucField_->setGeometry(controlLeft, rowTop(7), 70, rowHeight);
    label(tr("sec"), QRect(controlLeft + 74, rowTop(7), 40, rowHeight));
    applyButton_ = new QPushButton(tr("Apply"), this);
    applyButton_->setGeometry(sideLeft, rowTop(7), sideWidth, rowHeight);
    label(tr("Alarm Event :"), QRect(labelLeft, rowTop(8), labelWidth, rowHeight));
    alarmEventList_ = list(8);
    alarmEventList_->setGeometry(controlLeft, rowTop(8), controlWidth + sideWidth + 6, rowHeight);
    label(tr("Alarm Type :"), QRect(labelLeft, rowTop(9), labelWidth, rowHeight));
    alarmTypeList_ = list(9);

    maskingButton_ = new QPushButton(tr("Masking"), this);
    maskingButton_->setGeometry(22, rowTop(10) + 24, 170, 32);
    ipSettingButton_ = new QPushButton(tr("IP Setting"), this);
    ipSettingButton_->setGeometry(208, rowTop(10) + 24, 170, 32);

    // Present for the camera's own dialog, the stream server and the camera list, never shown.
    detectTestField_ = new QLineEdit(this);
    cameraSettingButton_ = new QPushButton(tr("Camera Setting"), this);
    startStreamingButton_ = new QPushButton(tr("Start Streaming"), this);
    stopStreamingButton_ = new QPushButton(tr("Stop Streaming"), this);
    cameraList_ = new QComboBox(this);
    for (QWidget* hidden :
         {static_cast<QWidget*>(detectTestField_), static_cast<QWidget*>(cameraSettingButton_),
          static_cast<QWidget*>(startStreamingButton_), static_cast<QWidget*>(stopStreamingButton_),
          static_cast<QWidget*>(cameraList_)})
        hidden->hide();

    // A wheel turned over a list the operator has not clicked scrolls the pane instead of
    // silently changing a setting.
    for (QComboBox* list : {unitList_, modeList_, paletteList_, fontList_, alarmEventList_, alarmTypeList_}) {
        list->setFocusPolicy(Qt::StrongFocus);
        list->installEventFilter(this);
    }

    connect(unitList_, QOverload<int>::of(&QComboBox::activated), this, [this] { OnUnitChanged(); });
    connect(modeList_, QOverload<int>::of(&QComboBox::activated), this, [this] { OnModeChanged(); });
    connect(paletteList_, QOverload<int>::of(&QComboBox::activated), this, [this] { OnPaletteChanged(); });
    connect(fontList_, QOverload<int>::of(&QComboBox::activated), this, [this] { OnFontSizeChanged(); });
    connect(alarmEventList_, QOverload<int>::of(&QComboBox::activated), this,
            [this] { OnAlarmEventChanged(); });
    connect(alarmTypeList_, QOverload<int>::of(&QComboBox::activated), this,
            [this] { OnAlarmTypeChanged(); });
    connect(offsetField_, &QLineEdit::textChanged, this, [this] { OnOffsetChanged(); });
    connect(detectionField_, &QLineEdit::textChanged, this,
            [this] { OnTemperatureFieldChanged(detectionField_, settings_keys::trackingTemperature); });
    connect(alarmField_, &QLineEdit::textChanged, this,
            [this] { OnTemperatureFieldChanged(alarmField_, settings_keys::alarmTemperature); });
    connect(savePeriodField_, &QLineEdit::textChanged, this,
            [this] { OnIntegerFieldChanged(savePeriodField_, settings_keys::alarmSavePeriod); });
    connect(detectTestField_, &QLineEdit::textChanged, this,
            [this] { OnIntegerFieldChanged(detectTestField_, settings_keys::detectTest); });
    connect(measureButton_, &QPushButton::clicked, this, [this] { owner_.startMeasurement(); });
    connect(applyButton_, &QPushButton::clicked, this, [this] { OnApply(); });
    connect(maskingButton_, &QPushButton::clicked, this, [this] { owner_.LaunchMaskEditor(); });
    connect(ipSettingButton_, &QPushButton::clicked, this, [this] { owner_.LaunchIpTool(); });
    connect(cameraSettingButton_, &QPushButton::clicked, this, [this] {
        if (owner_.cameraOpen())
            owner_.showCameraDialog();
    });
    connect(startStreamingButton_, &QPushButton::clicked, this, [this] {
        if (owner_.cameraOpen())
            owner_.StartStreamingServer();
    });
    connect(stopStreamingButton_, &QPushButton::clicked, this, [this] {
        if (owner_.cameraOpen())
            owner_.StopStreamingServer();
    });
}

void CLiveViewerCtrl::LoadSettingsIntoLists() {
    unitList_->clear();
    unitList_->addItems({QStringLiteral("℃"), QStringLiteral("℉")});
    unitList_->setCurrentIndex(
        store_.readInteger(settings_keys::temperatureUnit, settings_defaults::temperatureUnit));
    OnUnitChanged();

    modeList_->clear();
    modeList_->addItems({tr("Normal", "temperature mode"), tr("Auto"), tr("Manual")});
    const int mode = store_.readInteger(settings_keys::temperatureMode, settings_defaults::temperatureMode);
    if (mode == 1 || mode == 2)
        offsetField_->setText(
            oneDecimal(store_.readDouble(settings_keys::userOffset, settings_defaults::userOffset)));
    modeList_->setCurrentIndex(mode);
    OnModeChanged();

    fontList_->clear();
    fontList_->addItems({tr("Normal", "font size"), tr("Large")});
    fontList_->setCurrentIndex(store_.readInteger(settings_keys::fontSize, settings_defaults::fontSize));
    OnFontSizeChanged();

    alarmEventList_->clear();
    alarmEventList_->addItems({tr("Only Sound"), tr("Sound & Capture")});
    alarmEventList_->setCurrentIndex(
        store_.readInteger(settings_keys::alarmEvent, settings_defaults::alarmEvent));
    OnAlarmEventChanged();

    alarmTypeList_->clear();
    alarmTypeList_->addItems({QString::asprintf("Alarm%d", 1), QString::asprintf("Alarm%d", 2)});
    alarmTypeList_->setCurrentIndex(
        store_.readInteger(settings_keys::alarmType, settings_defaults::alarmType));
    OnAlarmTypeChanged();

    paletteList_->clear();
    for (int number = 0; number < paletteCount; ++number)
        paletteList_->addItem(QString::fromLatin1(paletteName(number)));
    paletteList_->setCurrentIndex(-1); // the camera's own palette is selected once it is open
    owner_.operatorValuesChanged();
}

void CLiveViewerCtrl::LoadSettingsIntoFields() {
    const TemperatureUnit unit = unitOf(paneUnit_);
    detectionField_->setText(oneDecimal(toDisplayUnit(
        store_.readDouble(settings_keys::trackingTemperature, settings_defaults::trackingTemperature),
        unit)));
    alarmField_->setText(oneDecimal(toDisplayUnit(
        store_.readDouble(settings_keys::alarmTemperature, settings_defaults::alarmTemperature), unit)));
    savePeriodField_->setText(QString::number(
        store_.readInteger(settings_keys::alarmSavePeriod, settings_defaults::alarmSavePeriod)));
    nucField_->setText(
        QString::number(store_.readInteger(settings_keys::nucPeriod, settings_defaults::nucPeriod)));
    detectTestField_->setText(
        QString::number(store_.readInteger(settings_keys::detectTest, settings_defaults::detectTest)));
}

QString CLiveViewerCtrl::unitLabelText() const {
    return detectionUnitLabel_->text();
}
QString CLiveViewerCtrl::detectionTemperatureText() const {
    return detectionField_->text();
}
QString CLiveViewerCtrl::alarmTemperatureText() const {
    return alarmField_->text();
}
QString CLiveViewerCtrl::alarmSavePeriodText() const {
    return savePeriodField_->text();
}
QString CLiveViewerCtrl::detectTestText() const {
    return detectTestField_->text();
}
QString CLiveViewerCtrl::nucIntervalText() const {
    return nucField_->text();
}
int CLiveViewerCtrl::paletteIndex() const {
    return paletteList_->currentIndex();
}

void CLiveViewerCtrl::forceNormalMode() {
    modeList_->setCurrentIndex(0);
    modeList_->setEnabled(false);
}

void CLiveViewerCtrl::selectPalette(int index) {
    paletteList_->setCurrentIndex(index);
    owner_.operatorValuesChanged();
}

void CLiveViewerCtrl::setOffsetText(const QString& text) {
    offsetField_->setText(text);
}

void CLiveViewerCtrl::setReadouts(const QString& large, const QString& maximum, const QString& minimum) {
    largeReadout_->setText(large);
    maximumReadout_->setText(maximum);
    minimumReadout_->setText(minimum);
}

QString CLiveViewerCtrl::largeReadoutText() const {
    return largeReadout_->text();
}
QString CLiveViewerCtrl::maximumReadoutText() const {
    return maximumReadout_->text();
}
QString CLiveViewerCtrl::minimumReadoutText() const {
    return minimumReadout_->text();
}

void CLiveViewerCtrl::OnUnitChanged() {
    const int index = unitList_->currentIndex();
    if (index < 0 || index == paneUnit_)
        return;
    paneUnit_ = index;
    if (index == 1 || index == 0) {
        const QString unitText = index == 1 ? QStringLiteral("℉") : QStringLiteral("℃");
        detectionUnitLabel_->setText(unitText);
        alarmUnitLabel_->setText(unitText);
        rewriteTemperatureField(detectionField_, index == 1);
        rewriteTemperatureField(alarmField_, index == 1);
    }
    store_.writeInteger(settings_keys::temperatureUnit, index);
    owner_.operatorValuesChanged();
}

void CLiveViewerCtrl::rewriteTemperatureField(QLineEdit* field, bool toFahrenheit) {
    if (field->text().isEmpty())
        return;
    const double value = parseFieldNumber(field->text());
    field->setText(oneDecimal(toFahrenheit ? value * 1.8 + 32 : (value - 32) / 1.8));
}

void CLiveViewerCtrl::OnModeChanged() {
    const int index = modeList_->currentIndex();
    if (index == 0) {
        offsetField_->hide();
        measureButton_->hide();
        offsetField_->setText(QStringLiteral("0.0"));
        owner_.setMeasuring(false);
    } else if (index == 1) {
        offsetField_->hide();
        measureButton_->show();
    } else if (index == 2) {
        offsetField_->show();
        measureButton_->hide();
        owner_.setMeasuring(false);
    }
    store_.writeInteger(settings_keys::temperatureMode, index);
}

void CLiveViewerCtrl::OnOffsetChanged() {
    if (!owner_.userCompensationSupported())
        return;
    const double offset = parseFieldNumber(offsetField_->text());
    if (!owner_.cameraOpen())
        return;
    owner_.setCameraNodeFloat(QStringLiteral("UserCompensationParaB"), offset);
    store_.writeDouble(settings_keys::userOffset, offset);
}

void CLiveViewerCtrl::OnPaletteChanged() {
    const int index = paletteList_->currentIndex();
    if (index < 0)
        return;
    if (owner_.cameraOpen())
        owner_.setCameraNodeEnum(QStringLiteral("ImageColorPalette"), paletteList_->currentText());
    owner_.operatorValuesChanged();
}

void CLiveViewerCtrl::OnFontSizeChanged() {
    const int index = fontList_->currentIndex();
    if (index < 0)
        return;
    owner_.setFontSize(index);
    store_.writeInteger(settings_keys::fontSize, index);
}

void CLiveViewerCtrl::OnAlarmEventChanged() {
    const int index = alarmEventList_->currentIndex();
    if (index < 0)
        return;
    owner_.setAlarmEvent(index);
    store_.writeInteger(settings_keys::alarmEvent, index);
}

void CLiveViewerCtrl::OnAlarmTypeChanged() {
    const int index = alarmTypeList_->currentIndex();
    if (index < 0)
        return;
    owner_.setAlarmType(index);
    store_.writeInteger(settings_keys::alarmType, index);
}

void CLiveViewerCtrl::OnTemperatureFieldChanged(QLineEdit* field, const QString& key) {
    const TemperatureFieldValue value = readTemperatureField(field->text(), unitOf(paneUnit_));
    if (value.rewrittenText && field->text() != *value.rewrittenText) {
        field->setText(*value.rewrittenText); // runs this handler again with the capped text
        return;
    }
    store_.writeDouble(key, value.storedCelsius);
    owner_.operatorValuesChanged();
}

void CLiveViewerCtrl::OnIntegerFieldChanged(QLineEdit* field, const QString& key) {
    store_.writeInteger(key, parseFieldInteger(field->text()));
    owner_.operatorValuesChanged();
}

void CLiveViewerCtrl::OnApply() {
    const int seconds = parseFieldInteger(nucField_->text());
    store_.writeInteger(settings_keys::nucPeriod, seconds);
    const int64_t intervalMs = std::clamp<int64_t>(int64_t(seconds) * 1000, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max());
    owner_.SetNucInterval(static_cast<int>(intervalMs));
}

bool CLiveViewerCtrl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel) {
        auto* list = qobject_cast<QComboBox*>(watched);
        if (list != nullptr && !list->hasFocus()) {
            for (QWidget* ancestor = parentWidget(); ancestor != nullptr; ancestor = ancestor->parentWidget())
                if (auto* area = qobject_cast<QAbstractScrollArea*>(ancestor)) {
                    QCoreApplication::sendEvent(area->verticalScrollBar(), event);
                    break;
                }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CLiveViewerCtrl::keyPressEvent(QKeyEvent* event) {
    // Enter and Esc never close or trigger anything in the pane.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace calidra
