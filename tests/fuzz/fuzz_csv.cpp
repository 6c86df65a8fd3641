// The reader of CSV exports from the earlier release, on any text.
#include "FuzzCheck.h"
#include "reports/CsvExport.h"
#include "scanning/Column.h"
#include "scanning/Inventory.h"
#include "scanning/LegacyImport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<Row> rows = LegacyImport::parseCSV(QString::fromUtf8(fuzzBytes(data, size)));

    // What was read can be exported and read again, keeping every app.
    Inventory inventory;
    inventory.fields = Column::scanFields();
    inventory.rows = rows;
    const QByteArray exported = CsvExport::content(inventory.fields, inventory.namedRows());
    const QList<Row> again = LegacyImport::parseCSV(QString::fromUtf8(exported));
    FUZZ_CHECK(again.size() == inventory.namedRows().size());
    return 0;
}
