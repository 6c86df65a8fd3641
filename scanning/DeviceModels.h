#pragma once

#include <QString>

#include <optional>

// The names people know their iPhones and iPads by ("iPhone 13 Pro"), for the product types the
// devices report ("iPhone14,2"), from the table compiled in from scanning/models.
class DeviceModels {
public:
    // Nothing for a product type the table does not know.
    static std::optional<QString> name(const QString &productType);
    // The name, or the product type as the device gave it.
    static QString shownName(const QString &productType);

    DeviceModels() = delete;
};
