#include "scanning/PropertyList.h"

#include "common/PlatformError.h"
#include "scanning/PropertyListCheck.h"

#include <QDateTime>
#include <QTimeZone>

#include <plist/plist.h>

#include <cstdlib>
#include <limits>
#include <memory>

namespace {

// libplist hands negative integers back as their two's complement, and those above the signed
// range as they are; this version has no call to tell them apart, but its writer does.
bool isNegative(plist_t integer)
{
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(integer, &xml, &length);
    const std::unique_ptr<char, decltype(&std::free)> owned(xml, &std::free);
    return xml && QByteArrayView(xml, length).contains("<integer>-");
}

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPointer = std::unique_ptr<void, PlistDeleter>;

QString takeString(char *text)
{
    const QString result = QString::fromUtf8(text);
    std::free(text);
    return result;
}

bool convert(plist_t node, int depth, QVariant &out)
{
    // Checked before parsing already; this keeps the recursion below bounded regardless.
    if (depth > PropertyListCheck::maximumDepth)
        return false;
    switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        for (;;) {
            char *key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iterator, &key, &value);
            if (!key)
                break;
            QVariant converted;
            const QString name = takeString(key);
            if (!convert(value, depth + 1, converted)) {
                std::free(iterator);
                return false;
            }
            map.insert(name, converted);
        }
        std::free(iterator);
        out = map;
        return true;
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t size = plist_array_get_size(node);
        list.reserve(qsizetype(size));
        for (uint32_t i = 0; i < size; ++i) {
            QVariant converted;
            if (!convert(plist_array_get_item(node, i), depth + 1, converted))
                return false;
            list.append(converted);
        }
        out = list;
        return true;
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        char *text = nullptr;
        if (plist_get_node_type(node) == PLIST_STRING)
            plist_get_string_val(node, &text);
        else
            plist_get_key_val(node, &text);
        out = takeString(text);
        return true;
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        out = bool(value);
        return true;
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        if (value <= quint64(std::numeric_limits<qint64>::max()) || isNegative(node))
            out = qint64(value);
        else
            out = quint64(value);
        return true;
    }
    case PLIST_UID: {
        uint64_t value = 0;
        plist_get_uid_val(node, &value);
        out = qint64(value);
        return true;
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        out = value;
        return true;
    }
    case PLIST_DATA: {
        char *bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        out = QByteArray(bytes, qsizetype(length));
        std::free(bytes);
        return true;
    }
    case PLIST_DATE: {
        int32_t seconds = 0;
        int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        // Property-list dates count from 2001-01-01T00:00:00Z.
        out = QDateTime::fromMSecsSinceEpoch(
            978307200000 + qint64(seconds) * 1000 + microseconds / 1000, QTimeZone::utc());
        return true;
    }
    default:
        out = QVariant();
        return true;
    }
}

} // namespace

QVariant PropertyList::parse(QByteArrayView data, const QString &what)
{
    auto failure = [&] {
        return PlatformError(
            PlatformError::Kind::Decoding,
            QStringLiteral("%1 could not be read: it is not a valid property list.").arg(what));
    };
    if (data.isEmpty() || data.size() > std::numeric_limits<uint32_t>::max() ||
        !PropertyListCheck::isAcceptable(data))
        throw failure();
    plist_t root = nullptr;
#ifdef QUILLET_PLIST_FORMAT_ARGUMENT
    plist_from_memory(data.data(), uint32_t(data.size()), &root, nullptr);
#else
    plist_from_memory(data.data(), uint32_t(data.size()), &root);
#endif
    if (!root)
        throw failure();
    const PlistPointer owner(root);
    QVariant result;
    if (!convert(root, 0, result))
        throw failure();
    return result;
}
