#pragma once
// The editor's application object: a QApplication that can make sure it is
// the only mask editor running.

#include <QApplication>
#include <QSharedMemory>

class SingleApplication : public QApplication {
    Q_OBJECT

public:
    SingleApplication(int& argc, char** argv);
    ~SingleApplication() override;

    bool lockInstance();

private:
    QSharedMemory* sharedMemory_;
};
