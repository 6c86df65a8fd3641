#pragma once

#include "common/Failure.h"

// Quillet's own failures: the message is complete and shown to the user as it is.
class ScanError : public Failure {
public:
    explicit ScanError(const QString &message);

    static QString cancelledMessage();
    static ScanError cancelled();
};
