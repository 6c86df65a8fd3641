#include "scanning/ScanError.h"

ScanError::ScanError(const QString &message, Kind kind) : Failure(message), m_kind(kind) {}

QString ScanError::cancelledMessage()
{
    return QStringLiteral("Scan cancelled. Your previous inventory is preserved.");
}

ScanError ScanError::cancelled()
{
    return ScanError(cancelledMessage());
}
