#pragma once

#include <QString>

// Text from outside (app and device names, tool messages, store and feed answers) prepared for
// places that would otherwise interpret it: a tooltip renders markup, a terminal obeys control
// sequences. What the text says is kept; only its power is taken away.
class PlainText {
public:
    // For QWidget::setToolTip and Qt::ToolTipRole, which take text that looks like markup as
    // markup: escaped, so it shows as written. Empty stays empty (no tooltip).
    static QString toolTip(const QString &text);
    // For a terminal: control characters and direction overrides become U+FFFD, tabs spaces,
    // and direction isolates (which no terminal needs) are left out.
    // Line breaks stay, or become spaces when the text must stay on one line.
    static QString printable(const QString &text, bool oneLine = false);
    // For a table cell or a report row, which show one line: every line break of any kind
    // becomes one space.
    static QString oneLine(QString text);
    // At most about `limit` characters: a longer text is cut (at a space when one is near the
    // end) and ends with "…". Nothing shows a text of megabytes whole; laying it out would cost
    // seconds and memory out of all proportion.
    static QString shortened(const QString &text, qsizetype limit);
    // For outside text set among ours ("Ann's iPhone · Scanned 10 Dec 2026"): text that could
    // change the direction of what stands around it (right-to-left letters, direction marks and
    // overrides) is wrapped in a first-strong isolate, with any isolate marks of its own taken
    // out so that it cannot close ours early. Other text is returned as it is.
    static QString isolated(const QString &text);
    // Without what no file format may hold: a half of a surrogate pair (which UTF-8 cannot
    // encode), U+0000 (which ends a C string) and U+FFFE and U+FFFF (which XML forbids) become
    // U+FFFD.
    static QString wellFormed(const QString &text);

    PlainText() = delete;
};
