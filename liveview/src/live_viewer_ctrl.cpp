#include "liveview/live_viewer_ctrl.h"

#include "operatorvalues/shown_temperature.h"
#include "pipeline/palettes.h"

#include <QAbstractScrollArea>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include <cmath>

namespace calidra {
namespace {

using Field = OperatorValuesModel::Field;
using List = OperatorValuesModel::List;

constexpr int largeReadoutPointSize = 35;
// The large read-out spans the pane; with an offset in force it leaves the right end to it.
constexpr QRect largeReadoutGeometry(10, 82, 380, 60);
// The pane's right end lies under the scroll bar of a low window: the offset stays left of it.
constexpr QRect largeReadoutBesideOffset(10, 82, 262, 60);
constexpr QRect offsetReadoutGeometry(274, 82, 92, 60);

// Row geometry of the option group, in pane pixels.
constexpr int labelLeft = 22;
constexpr int labelWidth = 150;
constexpr int controlLeft = 176;
constexpr int controlWidth = 120;
constexpr int narrowListWidth = 76; // the mode list beside the measured offset
constexpr int sideLeft = 302;
constexpr int sideWidth = 76;
constexpr int firstRowTop = 262;
constexpr int rowStep = 32;
constexpr int rowHeight = 26;

// Rows 0 to 10 for every mode; alarm mode Baseline adds its count, margin and a status of two
// rows below them, and mode Reference its set temperature and its state below those.
constexpr int commonRowCount = 11;
constexpr int baselineRowCount = 4;
constexpr int referenceRowCount = 2;

int rowTop(int row) {
    return firstRowTop + row * rowStep;
}

} // namespace

CLiveViewerCtrl::CLiveViewerCtrl(OperatorValuesModel& values, QWidget* parent)
    : QWidget(parent), values_(values) {
    setObjectName(QStringLiteral("LiveViewerCtrl"));
    buildControls();
    fillLists();
    for (const auto& [field, edit] : fields_)
        showField(field, values_.fieldText(field));
    for (const auto& [list, box] : lists_)
        showSelection(list, values_.selection(list));
    showModeControls();
    showUnitLabel(values_.unitLabel());
    showOffsetInForce();

    connect(&values_, &OperatorValuesModel::fieldTextChanged, this, &CLiveViewerCtrl::showField);
    connect(&values_, &OperatorValuesModel::selectionChanged, this, &CLiveViewerCtrl::showSelection);
    showBaselineStatus();
    connect(&values_, &OperatorValuesModel::modeControlsChanged, this, &CLiveViewerCtrl::showModeControls);
    connect(&values_, &OperatorValuesModel::unitLabelChanged, this, &CLiveViewerCtrl::showUnitLabel);
    connect(&values_, &OperatorValuesModel::unitLabelChanged, this, &CLiveViewerCtrl::showOffsetInForce);
    connect(&values_, &OperatorValuesModel::offsetInForceChanged, this, &CLiveViewerCtrl::showOffsetInForce);
}

void CLiveViewerCtrl::buildControls() {
    const auto label = [this](const QString& text, const QRect& geometry) {
        auto* created = new QLabel(text, this);
        created->setGeometry(geometry);
        return created;
    };
    const auto list = [this](List part, const char* name, int row) {
        auto* created = new QComboBox(this);
        created->setObjectName(QLatin1String(name));
        created->setGeometry(controlLeft, rowTop(row), controlWidth, rowHeight);
        lists_[part] = created;
        return created;
    };
    const auto field = [this](Field part, const char* name, const QRect& geometry) {
        auto* created = new QLineEdit(this);
        created->setObjectName(QLatin1String(name));
        created->setGeometry(geometry);
        fields_[part] = created;
        return created;
    };
    const auto button = [this](const QString& text, const char* name, const QRect& geometry) {
        auto* created = new QPushButton(text, this);
        created->setObjectName(QLatin1String(name));
        created->setGeometry(geometry);
        return created;
    };
    const auto fieldRow = [&](Field part, const char* name, int row) {
        return field(part, name, QRect(controlLeft, rowTop(row), controlWidth, rowHeight));
    };

    banner_ = new SpriteAnimation(this);
    banner_->setObjectName(QStringLiteral("banner"));
    banner_->setGeometry(10, 5, 380, 72);
    largeReadout_ = label(QString(), largeReadoutGeometry);
    largeReadout_->setObjectName(QStringLiteral("largeReadout"));
    largeReadout_->setAlignment(Qt::AlignCenter);
    QFont large = largeReadout_->font();
    large.setPointSize(largeReadoutPointSize);
    large.setBold(true);
    largeReadout_->setFont(large);
    offsetReadout_ = label(QString(), offsetReadoutGeometry);
    offsetReadout_->setObjectName(QStringLiteral("offsetReadout"));
    offsetReadout_->setAlignment(Qt::AlignCenter);
    offsetReadout_->setWordWrap(true);
    QFont offsetFont = offsetReadout_->font();
    offsetFont.setBold(true);
    offsetReadout_->setFont(offsetFont);
    maximumReadout_ = label(tr("Max Temp.") + QStringLiteral(" :"), QRect(22, 146, 176, 22));
    maximumReadout_->setObjectName(QStringLiteral("maximumReadout"));
    minimumReadout_ = label(tr("Min Temp.") + QStringLiteral(" :"), QRect(206, 146, 176, 22));
    minimumReadout_->setObjectName(QStringLiteral("minimumReadout"));
    alarmAnimation_ = new SpriteAnimation(this);
    alarmAnimation_->setObjectName(QStringLiteral("alarmAnimation"));
    alarmAnimation_->setGeometry(96, 172, 207, 64);

    optionGroup_ = new QGroupBox(tr("Option :"), this);
    optionGroup_->lower();

    label(tr("Temp Unit :"), QRect(labelLeft, rowTop(0), labelWidth, rowHeight));
    list(List::Unit, "unitList", 0);
    label(tr("Temp Mode :"), QRect(labelLeft, rowTop(1), labelWidth, rowHeight));
    modeList_ = list(List::Mode, "modeList", 1);
    offsetField_ = field(Field::UserOffset, "offsetField", QRect(sideLeft, rowTop(1), sideWidth, rowHeight));
    measureButton_ = button(tr("Measure"), "measureButton", QRect(sideLeft, rowTop(1), sideWidth, rowHeight));
    label(tr("Palette Color :"), QRect(labelLeft, rowTop(2), labelWidth, rowHeight));
    list(List::Palette, "paletteList", 2);
    label(tr("Font Size :"), QRect(labelLeft, rowTop(3), labelWidth, rowHeight));
    list(List::FontSize, "fontList", 3);
    label(tr("Detection Temp :"), QRect(labelLeft, rowTop(4), labelWidth, rowHeight));
    fieldRow(Field::DetectionTemperature, "detectionField", 4);
    detectionUnitLabel_ = label(QString(), QRect(sideLeft, rowTop(4), sideWidth, rowHeight));
    detectionUnitLabel_->setObjectName(QStringLiteral("detectionUnitLabel"));
    label(tr("Alarm Temp :"), QRect(labelLeft, rowTop(5), labelWidth, rowHeight));
    fieldRow(Field::AlarmTemperature, "alarmField", 5);
    alarmUnitLabel_ = label(QString(), QRect(sideLeft, rowTop(5), sideWidth, rowHeight));
    label(tr("Alarm Save Interval :"), QRect(labelLeft, rowTop(6), labelWidth, rowHeight));
    fieldRow(Field::AlarmSavePeriod, "savePeriodField", 6);
    label(tr("sec"), QRect(sideLeft, rowTop(6), sideWidth, rowHeight));
    label(tr("NUC Interval :"), QRect(labelLeft, rowTop(7), labelWidth, rowHeight));
    field(Field::NucInterval, "nucField", QRect(controlLeft, rowTop(7), 70, rowHeight));
    label(tr("sec"), QRect(controlLeft + 74, rowTop(7), 40, rowHeight));
    QPushButton* apply = button(tr("Apply"), "applyButton", QRect(sideLeft, rowTop(7), sideWidth, rowHeight));
    label(tr("Alarm Event :"), QRect(labelLeft, rowTop(8), labelWidth, rowHeight));
    list(List::AlarmEvent, "alarmEventList", 8)
        ->setGeometry(controlLeft, rowTop(8), controlWidth + sideWidth + 6, rowHeight);
    label(tr("Alarm Type :"), QRect(labelLeft, rowTop(9), labelWidth, rowHeight));
    list(List::AlarmType, "alarmTypeList", 9);
    label(tr("Alarm Mode :"), QRect(labelLeft, rowTop(10), labelWidth, rowHeight));
    list(List::AlarmMode, "alarmModeList", 10);
    // Alarm mode Baseline: placed by showModeControls.
    baselineRows_[0] = {label(tr("Baseline Count :"), QRect()),
                        field(Field::BaselineCount, "baselineCountField", QRect()),
                        button(tr("Reset baseline"), "resetBaselineButton", QRect())};
    baselineRows_[1] = {label(tr("Baseline Delta :"), QRect()),
                        field(Field::BaselineDelta, "baselineDeltaField", QRect()),
                        label(QStringLiteral("°C"), QRect())};
    baselineStatusLabel_ = label(QString(), QRect());
    baselineStatusLabel_->setObjectName(QStringLiteral("baselineStatus"));
    baselineStatusLabel_->setWordWrap(true);
    baselineRows_[2] = {baselineStatusLabel_};
    connect(static_cast<QPushButton*>(baselineRows_[0][2]), &QPushButton::clicked, this,
            &CLiveViewerCtrl::resetBaselineRequested);
    // Mode Reference: the source's set temperature, and its state with the correction in force.
    referenceLabel_ = label(tr("Reference Temp :"), QRect());
    referenceField_ = field(Field::ReferenceTemperature, "referenceField", QRect());
    referenceUnitLabel_ = label(QString(), QRect());
    referenceStatus_ = label(QString(), QRect());
    referenceStatus_->setObjectName(QStringLiteral("referenceStatus"));

    masking_ = button(tr("Masking"), "maskingButton", QRect());
    ipSetting_ = button(tr("IP Setting"), "ipSettingButton", QRect());
    peopleToday_ = label(QString(), QRect());
    peopleToday_->setObjectName(QStringLiteral("peopleToday"));
    setPeopleToday(0, 0);

    // Present for the detection area, the camera's own dialog, the stream server and the camera
    // list, never shown.
    QLineEdit* detectTest = field(Field::DetectTest, "detectTestField", QRect());
    QPushButton* cameraSetting = button(tr("Camera Setting"), "cameraSettingButton", QRect());
    QPushButton* startStreaming = button(tr("Start Streaming"), "startStreamingButton", QRect());
    QPushButton* stopStreaming = button(tr("Stop Streaming"), "stopStreamingButton", QRect());
    cameraList_ = new QComboBox(this);
    cameraList_->setObjectName(QStringLiteral("cameraList"));
    for (QWidget* hidden : std::initializer_list<QWidget*>{detectTest, cameraSetting, startStreaming,
                                                           stopStreaming, cameraList_})
        hidden->hide();

    for (const auto& [part, box] : lists_) {
        // A wheel turned over a list the operator has not clicked scrolls the pane instead of
        // silently changing a setting.
        box->setFocusPolicy(Qt::StrongFocus);
        box->installEventFilter(this);
        connect(box, QOverload<int>::of(&QComboBox::activated), this,
                [this, list = part](int position) { values_.select(list, position); });
    }
    // A value takes effect only once the operator has finished typing it (Enter or leaving the
    // field): "38" must not pass through 3 on its way, nor an empty field through its fallback.
    for (const auto& [part, edit] : fields_)
        connect(edit, &QLineEdit::editingFinished, this,
                [this, field = part, edit = edit] { values_.setFieldText(field, edit->text()); });

    connect(measureButton_, &QPushButton::clicked, this, &CLiveViewerCtrl::measureRequested);
    connect(apply, &QPushButton::clicked, this,
            [this] { values_.applyNucInterval(fields_.at(Field::NucInterval)->text()); });
    connect(masking_, &QPushButton::clicked, this, &CLiveViewerCtrl::maskingRequested);
    connect(ipSetting_, &QPushButton::clicked, this, &CLiveViewerCtrl::ipSettingRequested);
    connect(cameraSetting, &QPushButton::clicked, this, &CLiveViewerCtrl::cameraSettingRequested);
    connect(startStreaming, &QPushButton::clicked, this, &CLiveViewerCtrl::startStreamingRequested);
    connect(stopStreaming, &QPushButton::clicked, this, &CLiveViewerCtrl::stopStreamingRequested);
}

void CLiveViewerCtrl::fillLists() {
    lists_[List::Unit]->addItems({temperatureUnitSymbol(TemperatureUnit::Celsius),
                                  temperatureUnitSymbol(TemperatureUnit::Fahrenheit)});
    lists_[List::Mode]->addItems(
        {tr("Normal", "temperature mode"), tr("Auto"), tr("Manual"), tr("Reference")});
    for (int number = 0; number < paletteCount; ++number)
        lists_[List::Palette]->addItem(QString::fromLatin1(paletteName(number)));
    lists_[List::FontSize]->addItems({tr("Normal", "font size"), tr("Large")});
    lists_[List::AlarmEvent]->addItems({tr("Only Sound"), tr("Sound & Capture")});
    lists_[List::AlarmType]->addItems({tr("Alarm%1").arg(1), tr("Alarm%1").arg(2)});
    lists_[List::AlarmMode]->addItems({tr("Fixed"), tr("Baseline")});
}

void CLiveViewerCtrl::showField(OperatorValuesModel::Field field, const QString& text) {
    QLineEdit* edit = fields_.at(field);
    if (edit->text() != text)
        edit->setText(text);
}

void CLiveViewerCtrl::showSelection(OperatorValuesModel::List list, int position) {
    lists_.at(list)->setCurrentIndex(position);
}

void CLiveViewerCtrl::showModeControls() {
    // In Auto mode the offset the measurement found is shown, read-only, beside Measure.
    const bool measuredOffsetShown = values_.measureShown();
    offsetField_->setVisible(values_.offsetFieldShown() || measuredOffsetShown);
    offsetField_->setReadOnly(measuredOffsetShown);
    modeList_->setGeometry(controlLeft, rowTop(1), measuredOffsetShown ? narrowListWidth : controlWidth,
                           rowHeight);
    offsetField_->setGeometry(measuredOffsetShown
                                  ? QRect(controlLeft + narrowListWidth + 4, rowTop(1),
                                          sideLeft - controlLeft - narrowListWidth - 8, rowHeight)
                                  : QRect(sideLeft, rowTop(1), sideWidth, rowHeight));
    measureButton_->setVisible(values_.measureShown());
    int rows = commonRowCount;
    const bool baselineShown = values_.baselineFieldsShown();
    for (const std::vector<QWidget*>& row : baselineRows_)
        for (QWidget* part : row)
            part->setVisible(baselineShown);
    if (baselineShown) {
        baselineRows_[0][0]->setGeometry(labelLeft, rowTop(rows), labelWidth, rowHeight);
        baselineRows_[0][1]->setGeometry(controlLeft, rowTop(rows), 70, rowHeight);
        baselineRows_[0][2]->setGeometry(controlLeft + 74, rowTop(rows),
                                         sideLeft + sideWidth - controlLeft - 74, rowHeight);
        baselineRows_[1][0]->setGeometry(labelLeft, rowTop(rows + 1), labelWidth, rowHeight);
        baselineRows_[1][1]->setGeometry(controlLeft, rowTop(rows + 1), controlWidth, rowHeight);
        baselineRows_[1][2]->setGeometry(sideLeft, rowTop(rows + 1), sideWidth, rowHeight);
        baselineStatusLabel_->setGeometry(labelLeft, rowTop(rows + 2), sideLeft + sideWidth - labelLeft,
                                          rowStep + rowHeight);
        rows += baselineRowCount;
    }
    const bool referenceShown = values_.referenceFieldShown();
    for (QWidget* part : std::initializer_list<QWidget*>{referenceLabel_, referenceField_,
                                                         referenceUnitLabel_, referenceStatus_})
        part->setVisible(referenceShown);
    if (referenceShown) {
        referenceLabel_->setGeometry(labelLeft, rowTop(rows), labelWidth, rowHeight);
        referenceField_->setGeometry(controlLeft, rowTop(rows), controlWidth, rowHeight);
        referenceUnitLabel_->setGeometry(sideLeft, rowTop(rows), sideWidth, rowHeight);
        referenceStatus_->setGeometry(labelLeft, rowTop(rows + 1), sideLeft + sideWidth - labelLeft,
                                      rowHeight);
        rows += referenceRowCount;
    }
    // The group closes below its last shown row, the two buttons below it.
    optionGroup_->setGeometry(10, 240, 380, rowTop(rows) - 240 + 8);
    masking_->setGeometry(22, rowTop(rows) + 24, 170, 32);
    ipSetting_->setGeometry(208, rowTop(rows) + 24, 170, 32);
    peopleToday_->setGeometry(22, rowTop(rows) + 62, 356, 22);
    modeList_->setEnabled(values_.modeListEnabled());
}

void CLiveViewerCtrl::setReferenceStatus(ReferenceState state, double correctionCelsius,
                                         TemperatureUnit unit) {
    QString text;
    switch (state) {
    case ReferenceState::Off:
        break;
    case ReferenceState::Searching:
        text = tr("Reference: searching");
        break;
    case ReferenceState::Locked:
    case ReferenceState::Holding:
        text = (state == ReferenceState::Locked ? tr("Reference: locked, correction %1")
                                                : tr("Reference: holding, correction %1"))
                   .arg(shownTemperatureDifference(correctionCelsius, unit));
        break;
    case ReferenceState::Lost:
        text = tr("Reference: lost");
        break;
    }
    referenceStatus_->setText(text);
}

void CLiveViewerCtrl::showUnitLabel(const QString& label) {
    detectionUnitLabel_->setText(label);
    alarmUnitLabel_->setText(label);
    referenceUnitLabel_->setText(label);
    showBaselineStatus(); // in the new unit
}

void CLiveViewerCtrl::setBaselineStatus(const BaselineStatus& status) {
    baselineStatus_ = status;
    showBaselineStatus();
}

void CLiveViewerCtrl::showBaselineStatus() {
    const TemperatureUnit unit = values_.unit();
    const auto shown = [unit](double celsius) {
        return QString::asprintf("%.1f ", toDisplayUnit(celsius, unit)) +
               (unit == TemperatureUnit::Fahrenheit ? QStringLiteral("°F") : QStringLiteral("°C"));
    };
    const BaselineStatus& status = baselineStatus_;
    baselineStatusLabel_->setText(
        status.baselineCelsius ? tr("Threshold in force: %1 (baseline %2 from %3 people)")
                                     .arg(shown(status.thresholdCelsius), shown(*status.baselineCelsius))
                                     .arg(status.count)
                               : tr("Baseline: learning %1 / %2 (fixed %3 in force)")
                                     .arg(status.learned)
                                     .arg(status.count)
                                     .arg(shown(status.thresholdCelsius)));
}

void CLiveViewerCtrl::showOffsetInForce() {
    const double celsius = values_.offsetInForceCelsius();
    // A difference of temperatures: converted by the unit's scale only.
    const double shown = values_.unit() == TemperatureUnit::Fahrenheit ? celsius * 1.8 : celsius;
    const QString number = QString::asprintf("%.1f", std::abs(shown));
    const bool inForce = number != QStringLiteral("0.0");
    offsetReadout_->setVisible(inForce);
    largeReadout_->setGeometry(inForce ? largeReadoutBesideOffset : largeReadoutGeometry);
    if (!inForce)
        return;
    const QString sign = shown < 0 ? QStringLiteral("\u2212") : QStringLiteral("+");
    // Wrapped, if at all, between the word and the value, never inside the value.
    offsetReadout_->setText(tr("Offset %1").arg(sign + number + QChar(QChar::Nbsp) + values_.unitLabel()));
}

void CLiveViewerCtrl::setReadouts(const QString& large, const QString& maximum, const QString& minimum) {
    largeReadout_->setText(large);
    maximumReadout_->setText(maximum);
    minimumReadout_->setText(minimum);
}

void CLiveViewerCtrl::setCameraEntries(const QStringList& entries) {
    cameraList_->clear();
    cameraList_->addItems(entries);
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
