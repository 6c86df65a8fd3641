#pragma once

#include <QFont>
#include <QString>

class QDialog;
class QLabel;
class QLayout;
class QWidget;
class SelectableText;

// The pieces of a details sheet (App Details, Device Details): headings, captions and values
// that are selectable plain text, in the sizes those sheets use.
class DetailParts {
public:
    // The application font at `pixels`.
    static QFont fontOf(int pixels, QFont::Weight weight = QFont::Normal);
    // Names and values come from the device and the store: shown as written, never as markup.
    static QLabel *plainLabel(const QString &text);
    // Drawn fainter, as secondary text.
    static void makeSecondary(QWidget *widget);
    static QLabel *caption(const QString &text);
    static QWidget *heading(const QString &text);
    // A value the user can select and copy, named by its caption for a screen reader; long
    // identifiers wrap anywhere.
    static SelectableText *value(const QString &text, const QString &captionText,
                                 const QFont &font);

    // Lays out a details sheet: `header` above `document`, which scrolls and is named for a
    // screen reader, then Copy Details (which copies `text`) and Done.
    static void layOut(QDialog *sheet, QLayout *header, QWidget *document,
                       const QString &accessibleName, const QString &text);

    DetailParts() = delete;
};
