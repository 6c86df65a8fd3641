#pragma once

#include "scanning/Row.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <functional>

// What the "Show" pop-up beside the category offers, and the command line's flags for the same
// choices: apps with an update, apps no longer in the store… A new choice is one entry in the
// table of RowFilter.cpp.
struct RowFilter {
    // As the pop-up lists it: "Updates available".
    QString name;
    // The command line's flag ("updates"), or empty when the choice has none.
    QString option = {};
    QString optionHelp = {};
    std::function<bool(const Row &)> matches = {};

    // "All apps" first, which every row passes.
    static const QList<RowFilter> &all();
    // The choice of that name; nothing for a name the table does not have.
    static const RowFilter *named(QStringView name);

    static const QString allApps;
    static const QString updatesAvailable;
    static const QString notInStore;
    static const QString cannotBeRestored;
};
