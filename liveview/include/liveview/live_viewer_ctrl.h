#pragma once
// The operator's options pane beside the live picture: read-outs, the settings that take
// effect on the next frame, and the buttons for the helper programs.

#include "liveview/sprite_animation.h"

#include "settings/settings_store.h"

#include <QString>
#include <QWidget>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace calidra {

// The stored settings as the pane reads and writes them.
using OptionsStore = SettingsSection;

// What the pane's handlers ask of the live view that owns it.
class OptionsPaneOwner {
public:
    virtual ~OptionsPaneOwner() = default;
    virtual bool cameraOpen() = 0;
    virtual bool userCompensationSupported() = 0;
    virtual void setCameraNodeFloat(const QString& node, double value) = 0;
    virtual void setCameraNodeEnum(const QString& node, const QString& entry) = 0;
    virtual void setMeasuring(bool measuring) = 0;
    virtual void startMeasurement() = 0;
    virtual void SetNucInterval(int intervalMs) = 0;
    virtual void setFontSize(int position) = 0;
    virtual void setAlarmEvent(int position) = 0;
    virtual void setAlarmType(int position) = 0;
    virtual void showCameraDialog() = 0;
    virtual void LaunchMaskEditor() = 0;
    virtual void LaunchIpTool() = 0;
    virtual void StartStreamingServer() = 0;
    virtual void StopStreamingServer() = 0;
    // Something the frame thread reads changed: publish a fresh snapshot.
    virtual void operatorValuesChanged() = 0;
};

class CLiveViewerCtrl : public QWidget {
    Q_OBJECT
public:
    static constexpr int paneWidth = 400;
    // Height of all the pane's controls.
    static constexpr int contentHeight = 660;

    CLiveViewerCtrl(OptionsPaneOwner& owner, OptionsStore& store, QWidget* parent = nullptr);

    // Fills the lists from the store and runs each list's handler once.
    void LoadSettingsIntoLists();
    // Fills the fields from the store; their handlers store the values back as shown.
    void LoadSettingsIntoFields();

    // The unit the temperatures are shown and typed in: 0 Celsius, 1 Fahrenheit.
    int paneUnit() const { return paneUnit_; }
    // The unit text shown beside the detection temperature ("C" until the unit first changes).
    QString unitLabelText() const;

    // Field texts and list positions for the frame thread's snapshot.
    QString detectionTemperatureText() const;
    QString alarmTemperatureText() const;
    QString alarmSavePeriodText() const;
    QString detectTestText() const;
    QString nucIntervalText() const;
    int paletteIndex() const;

    // Acquisition start on a camera without the offset node: Normal, locked, handlers not run.
    void forceNormalMode();
    void selectPalette(int index);
    void setOffsetText(const QString& text);

    // Read-outs, written by the live view's 500 ms timer.
    void setReadouts(const QString& large, const QString& maximum, const QString& minimum);
    QString largeReadoutText() const;
    QString maximumReadoutText() const;
    QString minimumReadoutText() const;

    SpriteAnimation& alarmAnimation() { return *alarmAnimation_; }
    SpriteAnimation& banner() { return *banner_; }
    QComboBox& cameraList() { return *cameraList_; }

    // Controls by their part in the pane, for tests.
    QComboBox* unitList() const { return unitList_; }
    QComboBox* modeList() const { return modeList_; }
    QComboBox* paletteList() const { return paletteList_; }
    QComboBox* fontList() const { return fontList_; }
    QComboBox* alarmEventList() const { return alarmEventList_; }
    QComboBox* alarmTypeList() const { return alarmTypeList_; }
    QLineEdit* offsetField() const { return offsetField_; }
    QLineEdit* detectionField() const { return detectionField_; }
    QLineEdit* alarmField() const { return alarmField_; }
    QLineEdit* savePeriodField() const { return savePeriodField_; }
    QLineEdit* nucField() const { return nucField_; }
    QLineEdit* detectTestField() const { return detectTestField_; }
    QPushButton* measureButton() const { return measureButton_; }
    QPushButton* applyButton() const { return applyButton_; }
    QPushButton* maskingButton() const { return maskingButton_; }
    QPushButton* ipSettingButton() const { return ipSettingButton_; }
    QPushButton* cameraSettingButton() const { return cameraSettingButton_; }
    QPushButton* startStreamingButton() const { return startStreamingButton_; }
    QPushButton* stopStreamingButton() const { return stopStreamingButton_; }
    QLabel* largeReadout() const { return largeReadout_; }

    // The list handlers, as the operator's selection runs them.
    void OnUnitChanged();
    void OnModeChanged();
    void OnPaletteChanged();
    void OnFontSizeChanged();
    void OnAlarmEventChanged();
    void OnAlarmTypeChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void OnOffsetChanged();
    void OnTemperatureFieldChanged(QLineEdit* field, const QString& key);
    void OnIntegerFieldChanged(QLineEdit* field, const QString& key);
    void OnApply();
    void rewriteTemperatureField(QLineEdit* field, bool toFahrenheit);

    OptionsPaneOwner& owner_;
    OptionsStore& store_;
    int paneUnit_ = 0;

    SpriteAnimation* banner_ = nullptr;
    SpriteAnimation* alarmAnimation_ = nullptr;
    QLabel* largeReadout_ = nullptr;
    QLabel* maximumReadout_ = nullptr;
    QLabel* minimumReadout_ = nullptr;
    QGroupBox* optionGroup_ = nullptr;
    QComboBox* unitList_ = nullptr;
    QComboBox* modeList_ = nullptr;
    QComboBox* paletteList_ = nullptr;
    QComboBox* fontList_ = nullptr;
    QComboBox* alarmEventList_ = nullptr;
    QComboBox* alarmTypeList_ = nullptr;
    QComboBox* cameraList_ = nullptr;
    QLineEdit* offsetField_ = nullptr;
    QLineEdit* detectionField_ = nullptr;
    QLineEdit* alarmField_ = nullptr;
    QLineEdit* savePeriodField_ = nullptr;
    QLineEdit* nucField_ = nullptr;
    QLineEdit* detectTestField_ = nullptr;
    QLabel* detectionUnitLabel_ = nullptr;
    QLabel* alarmUnitLabel_ = nullptr;
    QPushButton* measureButton_ = nullptr;
    QPushButton* applyButton_ = nullptr;
    QPushButton* maskingButton_ = nullptr;
    QPushButton* ipSettingButton_ = nullptr;
    QPushButton* cameraSettingButton_ = nullptr;
    QPushButton* startStreamingButton_ = nullptr;
    QPushButton* stopStreamingButton_ = nullptr;
};

} // namespace calidra
