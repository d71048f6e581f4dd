#pragma once
// The editor's application object: a QApplication that can make sure it is
// the only mask editor running for this user.

#include "lifecycle/single_instance.h"

#include <QApplication>

#include <memory>

namespace zonara {

// The name of the editor's lock in the user's runtime folder.
inline const QString kInstanceKey = QStringLiteral("quro_Zonara");

} // namespace zonara

class SingleApplication : public QApplication {
    Q_OBJECT

public:
    SingleApplication(int& argc, char** argv);

    // False when another editor runs. A lock left by an editor that was killed
    // is taken over; without a runtime folder the editor runs unguarded.
    bool lockInstance();

private:
    std::unique_ptr<calidra::SingleInstance> instance_;
};
