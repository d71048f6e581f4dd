#pragma once
// The operator-values model on a settings section in memory, with a record of what it asks of
// the camera and the station: for the tests of the model and of the options pane.

#include "operatorvalues/operator_values_model.h"

#include <QMap>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace calidra::test {

class MemorySettings : public SettingsSection {
public:
    int readInteger(const QString& key, int defaultValue) override {
        return values.contains(key) ? values[key].toInt() : defaultValue;
    }
    double readDouble(const QString& key, double defaultValue) override {
        return values.contains(key) ? values[key].toDouble() : defaultValue;
    }
    QString readText(const QString& key, const QString& defaultValue) override {
        return values.contains(key) ? values[key].toString() : defaultValue;
    }
    void writeInteger(const QString& key, int value) override { values[key] = value; }
    void writeDouble(const QString& key, double value) override { values[key] = value; }
    QMap<QString, QVariant> values;
};

struct OperatorValuesRecord {
    explicit OperatorValuesRecord(OperatorValuesModel& model) {
        model.setCameraTakesOffset([this] { return cameraTakesOffset; });
        QObject::connect(&model, &OperatorValuesModel::userOffsetChosen,
                         [this](double celsius) { offsetsSent.push_back(celsius); });
        QObject::connect(&model, &OperatorValuesModel::paletteChosen,
                         [this](const QString& name) { palettesSent.push_back(name); });
        QObject::connect(&model, &OperatorValuesModel::nucIntervalApplied,
                         [this](int intervalMs) { nucIntervals.push_back(intervalMs); });
        QObject::connect(&model, &OperatorValuesModel::measuringStopRequested, [this] { ++measuringStops; });
        QObject::connect(&model, &OperatorValuesModel::valuesChanged, [this] { ++publications; });
        QObject::connect(&model, &OperatorValuesModel::entryRefused,
                         [this](OperatorValuesModel::Field, const QString& reason) { refusals << reason; });
        QObject::connect(&model, &OperatorValuesModel::storedValueReplaced,
                         [this](const QString& message) { replacedStoredValues << message; });
    }

    bool cameraTakesOffset = false;
    std::vector<double> offsetsSent;
    std::vector<QString> palettesSent;
    std::vector<int> nucIntervals;
    int measuringStops = 0;
    int publications = 0;
    QStringList refusals;
    QStringList replacedStoredValues;
};

} // namespace calidra::test
