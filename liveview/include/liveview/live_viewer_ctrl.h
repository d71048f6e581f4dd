#pragma once
// The operator's options pane beside the live picture: the read-outs, the controls of the
// operator's values and the buttons for the helper programs. It shows what the operator-values
// model holds and hands it what the operator chose; every rule lives in the model. Controls carry
// object names ("alarmField", "unitList", ...) for tests and accessibility.

#include "liveview/sprite_animation.h"

#include "operatorvalues/operator_values_model.h"
#include "pipeline/reference_tracker.h"

#include <QString>
#include <QWidget>

#include <map>
#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace calidra {

class CLiveViewerCtrl : public QWidget {
    Q_OBJECT
public:
    static constexpr int paneWidth = 400;
    // Height of all the pane's controls, mode Baseline's and mode Reference's rows and the people
    // line included.
    static constexpr int contentHeight = 914;

    explicit CLiveViewerCtrl(OperatorValuesModel& values, QWidget* parent = nullptr);

    // Read-outs, refreshed by the station every 500 ms.
    void setReadouts(const QString& large, const QString& maximum, const QString& minimum);
    // Mode Reference's state and the correction in force, read-only.
    void setReferenceStatus(ReferenceState state, double correctionCelsius, TemperatureUnit unit);
    // Alarm mode Baseline: the threshold in force and the baseline, or how far its learning is,
    // read-only; temperatures in the shown unit.
    void setBaselineStatus(const BaselineStatus& status);
    // The (hidden) list of cameras.
    void setCameraEntries(const QStringList& entries);
    // "People today: N · Alarms: M" under the buttons.
    void setPeopleToday(int people, int alarms);

    SpriteAnimation& alarmAnimation() { return *alarmAnimation_; }
    SpriteAnimation& banner() { return *banner_; }

signals:
    // Buttons whose work lies outside the operator's values.
    void measureRequested();
    void resetBaselineRequested();
    void maskingRequested();
    void ipSettingRequested();
    void cameraSettingRequested();
    void startStreamingRequested();
    void stopStreamingRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void fillLists();
    void showField(OperatorValuesModel::Field field, const QString& text);
    void showSelection(OperatorValuesModel::List list, int position);
    void showModeControls();
    void showUnitLabel(const QString& label);
    // "Offset −1.6 °C" beside the large read-out while an offset other than 0 is in force.
    void showOffsetInForce();
    void showBaselineStatus();

    OperatorValuesModel& values_;
    SpriteAnimation* banner_ = nullptr;
    SpriteAnimation* alarmAnimation_ = nullptr;
    QLabel* largeReadout_ = nullptr;
    QLabel* offsetReadout_ = nullptr;
    QLabel* maximumReadout_ = nullptr;
    QLabel* minimumReadout_ = nullptr;
    QLabel* peopleToday_ = nullptr;
    QLabel* detectionUnitLabel_ = nullptr;
    QLabel* alarmUnitLabel_ = nullptr;
    QComboBox* modeList_ = nullptr;
    QComboBox* cameraList_ = nullptr;
    QLineEdit* offsetField_ = nullptr;
    QPushButton* measureButton_ = nullptr;
    QGroupBox* optionGroup_ = nullptr;
    QPushButton* masking_ = nullptr;
    QPushButton* ipSetting_ = nullptr;
    QLabel* referenceLabel_ = nullptr;
    QLineEdit* referenceField_ = nullptr;
    QLabel* referenceUnitLabel_ = nullptr;
    QLabel* referenceStatus_ = nullptr;
    std::vector<QWidget*> baselineRows_[3]; // the count with its reset, the margin, the status
    QLabel* baselineStatusLabel_ = nullptr;
    BaselineStatus baselineStatus_;
    std::map<OperatorValuesModel::Field, QLineEdit*> fields_;
    std::map<OperatorValuesModel::List, QComboBox*> lists_;
};

} // namespace calidra
