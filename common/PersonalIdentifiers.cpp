#include "common/PersonalIdentifiers.h"

#include <QSettings>

#include <atomic>

namespace {

const QString settingKey = QStringLiteral("recordIdentifiers");
// Read by scans on their own threads.
std::atomic<bool> forThisRun = false;

} // namespace

bool PersonalIdentifiers::recorded()
{
    return forThisRun || QSettings().value(settingKey, false).toBool();
}

void PersonalIdentifiers::save(bool recorded)
{
    QSettings().setValue(settingKey, recorded);
}

void PersonalIdentifiers::recordForThisRun()
{
    forThisRun = true;
}
