// The store data cache, "categories.json".
#include "FuzzCheck.h"
#include "scanning/CategoryEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<CategoryEntry::Map> map = CategoryEntry::decodeMap(fuzzBytes(data, size));
    if (!map)
        return 0;
    // A decoded cache is saved after the next lookup; it must read back unchanged.
    const std::optional<CategoryEntry::Map> again =
        CategoryEntry::decodeMap(CategoryEntry::encodeMap(*map));
    FUZZ_CHECK(again && *again == *map);
    return 0;
}
