// Version texts: the update verdict of the table and the order of releases.
#include "FuzzCheck.h"
#include "features/UpdateCheck.h"
#include "scanning/RowBuilder.h"

namespace {

int sign(int value)
{
    return (value > 0) - (value < 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto [a, b] = fuzzTextPair(data, size);

    const int ab = UpdateCheck::compareVersions(a, b);
    FUZZ_CHECK(sign(ab) == -sign(UpdateCheck::compareVersions(b, a)));
    FUZZ_CHECK(UpdateCheck::compareVersions(a, a) == 0);

    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'765'000'000, Qt::UTC);
    const double checked = 1'764'990'000.0;
    const QString verdict = RowBuilder::updateAvailability(a, b, checked, now);
    FUZZ_CHECK(verdict == QLatin1String("Yes") || verdict == QLatin1String("No") ||
               verdict == QLatin1String("Unknown"));
    // The same version is never an update.
    FUZZ_CHECK(RowBuilder::updateAvailability(a, a, checked, now) != QLatin1String("Yes"));
    if (const auto components = RowBuilder::versionComponents(a)) {
        FUZZ_CHECK(!components->isEmpty());
        for (qint64 component : *components)
            FUZZ_CHECK(component >= 0);
    }
    return 0;
}
