// "inventory.json" and history archives, as a damaged or foreign file may hold them.
#include "FuzzCheck.h"
#include "common/Failure.h"
#include "history/SavedScan.h"
#include "scanning/Inventory.h"
#include "scanning/device/DeviceFacts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json = fuzzBytes(data, size);
    Inventory inventory;
    try {
        inventory = Inventory::fromJson(json, QStringLiteral("inventory.json"));
    } catch (const Failure &error) {
        FUZZ_CHECK(!error.description().isEmpty());
        return 0;
    }

    // The history's listing reads the same header and counts the same apps without the rows.
    qsizetype named = -1;
    try {
        const Inventory header =
            Inventory::headerFromJson(json, QStringLiteral("inventory.json"), named);
        FUZZ_CHECK(header.rows.isEmpty() && header.fields == inventory.fields &&
                   header.deviceName == inventory.deviceName && header.scanID == inventory.scanID &&
                   header.scannedAt == inventory.scannedAt &&
                   header.deviceFacts() == inventory.deviceFacts() &&
                   header.snapshotNotes == inventory.snapshotNotes);
        FUZZ_CHECK(named == inventory.namedRows().size());
    } catch (const Failure &) {
        FUZZ_CHECK(!"the header of a readable inventory is refused");
    }

    // Whatever decodes is written back as itself.
    Inventory again;
    try {
        again = Inventory::fromJson(inventory.toJson(), QStringLiteral("inventory.json"));
    } catch (const Failure &) {
        FUZZ_CHECK(!"a written inventory does not read back");
    }
    FUZZ_CHECK(again == inventory);

    // Everything the window and the history do with a loaded inventory.
    (void)inventory.namedRows();
    (void)inventory.resolvedDeviceID();
    (void)inventory.withStoreColumns();
    const QString stem =
        Inventory::exportStem(inventory.deviceName, inventory.scannedAt.value_or(QDateTime()));
    FUZZ_CHECK(!stem.isEmpty() && !stem.contains(u'/'));
    (void)SavedScan{inventory.scanID.value_or(QString()), inventory}.title();
    return 0;
}
