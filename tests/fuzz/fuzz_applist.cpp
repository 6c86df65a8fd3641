// What the device's app listing tool prints, through to the rows of an inventory.
#include "FuzzCheck.h"
#include "common/Failure.h"
#include "scanning/Inventory.h"
#include "scanning/RowBuilder.h"
#include "scanning/Scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QList<Row> rows;
    try {
        const QList<QVariantMap> apps = Scanner::parseAppList(fuzzBytes(data, size));
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1'765'000'000, Qt::UTC);
        rows = RowBuilder::makeRows(
            apps, QStringLiteral("00008110-000A1B2C3D4E5F60"),
            {{QStringLiteral("com.example.notes"), QStringLiteral("Productivity")}}, now);
    } catch (const Failure &error) {
        FUZZ_CHECK(!error.description().isEmpty());
        return 0;
    }
    // Every row becomes part of a saved inventory, which must read back as it was written.
    Inventory inventory;
    inventory.rows = rows;
    try {
        FUZZ_CHECK(Inventory::fromJson(inventory.toJson(), QStringLiteral("inventory.json")) ==
                   inventory);
    } catch (const Failure &) {
        FUZZ_CHECK(!"rows from a device do not save");
    }
    return 0;
}
