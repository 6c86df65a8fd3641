#include "app/SnapshotEditor.h"

#include "widgets/Sheet.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

SnapshotEditor::SnapshotEditor(const QString &name, const QString &notes, QWidget *window)
    : QDialog(window)
{
    QLabel *message = Sheet::prepare(this, QStringLiteral("snapshotEditor"),
                                     QStringLiteral("Snapshot Name & Notes"));
    auto *informative = new QLabel(QStringLiteral(
        "Add a name such as \u201CBefore iOS update\u201D and notes about this scan. Leave the "
        "name empty to use its device and date."));
    informative->setWordWrap(true);

    m_name = new QLineEdit(name);
    m_name->setObjectName(QStringLiteral("snapshotName"));
    m_name->setPlaceholderText(QStringLiteral("Snapshot name"));
    m_name->setAccessibleName(QStringLiteral("Snapshot name"));
    m_name->setFixedHeight(26);
    auto *notesLabel = new QLabel(QStringLiteral("Notes"));
    m_notes = new QPlainTextEdit(notes);
    m_notes->setObjectName(QStringLiteral("snapshotNotes"));
    m_notes->setAccessibleName(QStringLiteral("Snapshot notes"));
    m_notes->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Tab moves to the buttons, as everywhere else in the sheet; notes rarely need a tab.
    m_notes->setTabChangesFocus(true);
    m_notes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_notes->setFixedHeight(170);
    QFont notesFont = QApplication::font();
    notesFont.setPixelSize(13);
    m_notes->setFont(notesFont);
    m_notes->document()->setDocumentMargin(8);

    auto *accessory = new QWidget;
    accessory->setFixedWidth(480);
    auto *fields = new QVBoxLayout(accessory);
    fields->setContentsMargins(0, 0, 0, 0);
    fields->setSpacing(6);
    fields->addWidget(m_name);
    fields->addWidget(notesLabel);
    fields->addWidget(m_notes);

    QDialogButtonBox *buttons = Sheet::acceptOrCancel(this, QStringLiteral("Save"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(10);
    layout->addWidget(message);
    layout->addWidget(informative);
    layout->addSpacing(4);
    layout->addWidget(accessory);
    layout->addWidget(buttons);
    setFixedWidth(520);

    m_name->setFocus();
}

QString SnapshotEditor::name() const
{
    return m_name->text();
}

QString SnapshotEditor::notes() const
{
    return m_notes->toPlainText();
}
