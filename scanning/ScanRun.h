#pragma once

#include "scanning/Inventory.h"

#include <QList>
#include <QString>

#include <utility>

// Scans of several devices one after another, chosen or found connected: what became of each,
// and the words that sum them up. A failure on one device does not end the run; a cancel does,
// and every scan finished before it stays saved.
class ScanRun {
public:
    // `total` devices to scan; `automatic` when they were found connected, not chosen.
    ScanRun(qsizetype total = 0, bool automatic = false);

    qsizetype total() const { return m_total; }
    bool isAutomatic() const { return m_automatic; }
    qsizetype savedCount() const { return m_saved.size(); }
    const QList<std::pair<QString, QString>> &failures() const { return m_failures; }

    // "Scanning Ann's iPad (2 of 3)… ", which leads every progress message of the scan of the
    // device at `index` of `total`.
    static QString progressLead(qsizetype index, qsizetype total, const QString &device);
    // More devices join a run whose scans go on at once.
    void add(qsizetype devices) { m_total += devices; }
    void saved(const QString &device, const Inventory &inventory);
    void failed(const QString &device, const QString &description);

    // The status line at the end; empty when nothing was saved or said.
    QString summary(bool cancelled) const;
    // The alert at the end, when devices failed: its message and explanation.
    std::pair<QString, QString> failureAlert() const;

private:
    qsizetype m_total = 0;
    bool m_automatic = false;
    // Device title, then what the scan said.
    QList<std::pair<QString, QString>> m_saved;
    QList<std::pair<QString, QString>> m_failures;
};
