#include "single_application.h"

SingleApplication::SingleApplication(int& argc, char** argv)
    : QApplication(argc, argv), instance_(std::make_unique<calidra::SingleInstance>(
                                    calidra::userRuntimeFolder(), zonara::kInstanceKey)) {}

bool SingleApplication::lockInstance() {
    return instance_->claim() != calidra::InstanceClaim::AlreadyRunning;
}
