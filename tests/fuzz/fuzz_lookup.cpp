// The store lookup service's answer for one batch.
#include "FuzzCheck.h"
#include "scanning/StoreLookup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList batch{QStringLiteral("com.example.notes"), QStringLiteral("com.example.maps"),
                            QStringLiteral("org.example.ünïcode")};
    const std::optional<CategoryEntry::Map> found =
        StoreLookup::lookupEntries(fuzzBytes(data, size), batch, 1'765'000'000.0);
    if (!found)
        return 0;
    // Exactly the batch is answered, and the answer can be cached.
    FUZZ_CHECK(found->size() == batch.size());
    for (const QString &identifier : batch)
        FUZZ_CHECK(found->contains(identifier));
    const std::optional<CategoryEntry::Map> cached =
        CategoryEntry::decodeMap(CategoryEntry::encodeMap(*found));
    FUZZ_CHECK(cached && *cached == *found);
    return 0;
}
