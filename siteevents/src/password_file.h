#pragma once
// The broker password lives in a file of its own, never in the settings; the file must belong to
// the user running the station and be closed to everybody else.

#include <QByteArray>
#include <QString>

namespace calidra {

struct PasswordFileResult {
    bool usable = false;
    QByteArray password; // the first line, without its line end
    QString problem;     // for the event log when not usable
    int errorNumber = 0;
};

PasswordFileResult readPasswordFile(const QString& path);

} // namespace calidra
