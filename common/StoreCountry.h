#pragma once

#include <QList>
#include <QString>

#include <utility>

// The App Store country the store lookup asks, as a lower-case two-letter code: "us" unless the
// user chose another (the setting "storeCountry", which the window and quillet-cli share) or
// the command line names one for this run.
class StoreCountry {
public:
    static QString current();
    // Remembered for later runs of either front end.
    static void save(const QString &code);
    // For this run only, over the setting (--store-country).
    static void setForThisRun(const QString &code);

    // Two letters naming a country; either case.
    static bool isValid(const QString &code);
    // "the US App Store", "the App Store of France": how texts name the chosen store.
    static QString storeName(const QString &code = current());
    // Every country a store can be chosen for: its code and its name, by name.
    static QList<std::pair<QString, QString>> countries();

    static inline const QString defaultCode = QStringLiteral("us");

    StoreCountry() = delete;
};
