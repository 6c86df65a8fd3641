// The user's snapshot names and notes, "snapshot-notes.json".
#include "FuzzCheck.h"
#include "common/Failure.h"
#include "history/SnapshotAnnotation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = QStringLiteral("snapshot-notes.json");
    SnapshotAnnotation::Map map;
    try {
        map = SnapshotAnnotation::decodeMap(fuzzBytes(data, size), path);
    } catch (const Failure &error) {
        FUZZ_CHECK(error.description().contains(path));
        return 0;
    }
    // Saving a note rewrites every other one: none may change on the way.
    try {
        FUZZ_CHECK(SnapshotAnnotation::decodeMap(SnapshotAnnotation::encodeMap(map), path) == map);
    } catch (const Failure &) {
        FUZZ_CHECK(!"saved notes do not read back");
    }
    return 0;
}
