#include "single_application.h"

#include "instance_lock.h"

SingleApplication::SingleApplication(int& argc, char** argv)
    : QApplication(argc, argv), sharedMemory_(new QSharedMemory(zonara::kInstanceKey, this)) {}

SingleApplication::~SingleApplication() {
    if (sharedMemory_->isAttached()) {
        sharedMemory_->detach();
    }
}

bool SingleApplication::lockInstance() {
    return zonara::lockInstance(*sharedMemory_);
}
