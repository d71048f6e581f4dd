#pragma once
// ShellSettings kept in the application's INI settings file.

#include "shell/shell_settings.h"

#include <QSettings>

namespace calidra {

class IniShellSettings final : public ShellSettings {
public:
    explicit IniShellSettings(const QString& filePath);

    int readInt(const QString& key, int defaultValue) const override;
    void writeInt(const QString& key, int value) override;

private:
    mutable QSettings settings_;
};

} // namespace calidra
