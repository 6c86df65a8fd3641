#pragma once

#include "scanning/Inventory.h"

#include <QString>

// One entry of the scan history, with the user's name and notes applied. A listing holds each
// archive without its rows (HistoryStore::inventory reads them); a scan held only in memory
// has no file and all its rows.
struct SavedScan {
    QString id;
    Inventory inventory;
    // The archive's file name in the history folder.
    QString file = {};
    // The apps with a visible name, as the table would count them.
    qsizetype appCount = 0;

    friend bool operator==(const SavedScan &, const SavedScan &) = default;

    // The one line that stands for this scan everywhere:
    // "[name · ]device · short date and time · first six characters of the identity".
    QString title() const;
};
