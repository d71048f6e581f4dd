#pragma once
// The integer settings the shell itself keeps ("ColorTheme"), below the section "Settings" of the
// application's settings location.

#include <QString>

namespace calidra {

class ShellSettings {
public:
    virtual ~ShellSettings() = default;
    virtual int readInt(const QString& key, int defaultValue) const = 0;
    virtual void writeInt(const QString& key, int value) = 0;
};

// The settings file of an application name: <config>/Quro-Duzu/Calidra/<applicationName>.conf,
// <config> being $XDG_CONFIG_HOME or ~/.config.
QString settingsFilePath(const QString& applicationName);

} // namespace calidra
