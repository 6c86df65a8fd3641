#include "scanning/tools/LockdownDomains.h"

#include "scanning/PropertyListCheck.h"

#include <QByteArrayView>

#include <cstdint>
#include <cstdlib>
#include <set>

namespace {

// Counts the nodes under `node` into `count`; false once past the depth or count bound. The
// depth is checked before descending, so no tree deepens the stack past the bound.
bool withinBounds(plist_t node, int depth, size_t &count)
{
    if (++count > LockdownDomains::mostValues)
        return false;
    const plist_type type = plist_get_node_type(node);
    if (type != PLIST_DICT && type != PLIST_ARRAY)
        return true;
    if (depth >= LockdownDomains::deepestValues)
        return false;
    if (type == PLIST_ARRAY) {
        const uint32_t size = plist_array_get_size(node);
        for (uint32_t i = 0; i < size; ++i) {
            if (!withinBounds(plist_array_get_item(node, i), depth + 1, count))
                return false;
        }
        return true;
    }
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    bool fine = true;
    for (;;) {
        char *key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iterator, &key, &value);
        if (!key)
            break;
        std::free(key);
        if (!value || !withinBounds(value, depth + 1, count)) {
            fine = false;
            break;
        }
    }
    std::free(iterator);
    return fine;
}

} // namespace

bool LockdownDomains::isAcceptable(plist_t values)
{
    if (!values || plist_get_node_type(values) != PLIST_DICT)
        return false;
    size_t count = 0;
    if (!withinBounds(values, 0, count))
        return false;
    // As it is printed, it must also pass the check Quillet reads it with.
    char *raw = nullptr;
    uint32_t length = 0;
    plist_to_xml(values, &raw, &length);
    const Owned<char *, freeMemory> xml(raw);
    return xml && length <= largestValues &&
        PropertyListCheck::isAcceptable(QByteArrayView(xml.get(), qsizetype(length)));
}

Plist LockdownDomains::read(lockdownd_client_t lockdown, const std::vector<std::string> &domains)
{
    Plist answered(plist_new_array());
    std::set<std::string> asked;
    for (const std::string &domain : domains) {
        if (!asked.insert(domain).second)
            continue;
        plist_t raw = nullptr;
        const lockdownd_error_t error =
            lockdownd_get_value(lockdown, domain.empty() ? nullptr : domain.c_str(), nullptr, &raw);
        Plist values(raw);
        if (error != LOCKDOWN_E_SUCCESS || !isAcceptable(values.get()))
            continue;
        Plist entry(plist_new_dict());
        plist_dict_set_item(entry.get(), "Domain", plist_new_string(domain.c_str()));
        plist_dict_set_item(entry.get(), "Values", values.release());
        plist_array_append_item(answered.get(), entry.release());
    }
    return answered;
}
