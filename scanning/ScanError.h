#pragma once

#include "common/Failure.h"

// Quillet's own failures: the message is complete and shown to the user as it is.
class ScanError : public Failure {
public:
    enum class Kind {
        Failed,
        // The device is locked or asks whether to trust this computer: it can be scanned once
        // its user answers, with nothing else to change.
        AwaitingUser,
    };

    explicit ScanError(const QString &message, Kind kind = Kind::Failed);

    bool awaitsUser() const { return m_kind == Kind::AwaitingUser; }
    // Whether `failure` is a ScanError that awaits the user.
    static bool isAwaitingUser(const Failure &failure);

    static QString cancelledMessage();
    static ScanError cancelled();

private:
    Kind m_kind;
};
