#include "scanning/ScanError.h"

ScanError::ScanError(const QString &message, Kind kind) : Failure(message), m_kind(kind) {}

bool ScanError::isAwaitingUser(const Failure &failure)
{
    const auto *error = dynamic_cast<const ScanError *>(&failure);
    return error && error->awaitsUser();
}

QString ScanError::cancelledMessage()
{
    return QStringLiteral("Scan cancelled. Your previous inventory is preserved.");
}

ScanError ScanError::cancelled()
{
    return ScanError(cancelledMessage());
}
