#include "app/SnapshotEditing.h"

#include "app/SnapshotEditor.h"
#include "common/Failure.h"
#include "common/PlainText.h"
#include "widgets/Sheet.h"

#include <QMessageBox>
#include <QPushButton>

SnapshotEditing::SnapshotEditing(QObject *parent) : QObject(parent) {}

void SnapshotEditing::edit(const Inventory &scan)
{
    if (!scan.scanID || !m_window)
        return;
    // As saved now: quillet-cli or another window may have changed them since the scan was read.
    const Inventory saved = HistoryStore().applyingAnnotations(scan);
    const SnapshotAnnotation seen{saved.snapshotName.value_or(QString()),
                                  saved.snapshotNotes.value_or(QString())};
    open(*scan.scanID, seen, seen);
}

void SnapshotEditing::open(const QString &scanID, const SnapshotAnnotation &seen,
                           const SnapshotAnnotation &typed)
{
    auto *editor = new SnapshotEditor(typed.name, typed.notes, m_window);
    connect(editor, &QDialog::accepted, this, [this, editor, scanID, seen] {
        // Only the fields the user changed: the other keeps what is saved, whoever saved it.
        HistoryStore::AnnotationChange change{std::nullopt, std::nullopt, seen};
        if (editor->name() != seen.name)
            change.name = editor->name();
        if (editor->notes() != seen.notes)
            change.notes = editor->notes();
        save(scanID, change, {editor->name(), editor->notes()});
    });
    editor->open();
}

void SnapshotEditing::save(const QString &scanID, const HistoryStore::AnnotationChange &change,
                           const SnapshotAnnotation &typed)
{
    const HistoryStore history;
    try {
        history.saveAnnotation(scanID, change);
    } catch (const HistoryStore::AnnotationConflict &conflict) {
        // The editor or the last alert is closing; the next sheet follows it.
        QMetaObject::invokeMethod(
            this, [=, this] { resolveConflict(scanID, change, typed, conflict); },
            Qt::QueuedConnection);
        return;
    } catch (const Failure &error) {
        QMetaObject::invokeMethod(
            this,
            [this, text = error.description()] {
                Sheet::alert(m_window, QMessageBox::Warning, text, QString())->open();
            },
            Qt::QueuedConnection);
        return;
    }
    Q_EMIT saved();
}

void SnapshotEditing::resolveConflict(const QString &scanID,
                                      const HistoryStore::AnnotationChange &change,
                                      const SnapshotAnnotation &typed,
                                      const HistoryStore::AnnotationConflict &conflict)
{
    const SnapshotAnnotation &saved = conflict.saved;
    // Never silently over the other writer's text: the user sees it and chooses.
    auto excerpt = [](const QString &text) {
        const QString line = PlainText::oneLine(text);
        if (line.isEmpty())
            return QStringLiteral("(empty)");
        return line.size() > 200 ? line.left(200) + QChar(0x2026) : line;
    };
    QMessageBox *alert = Sheet::alert(
        m_window, QMessageBox::Warning, conflict.description(),
        QStringLiteral("While you were editing, another Quillet window or quillet-cli saved this "
                       "scan's name and notes:\n\nName: %1\nNotes: %2\n\nReplace them with your "
                       "text, or edit again to combine the two.")
            .arg(excerpt(saved.name), excerpt(saved.notes)));
    QPushButton *replace = alert->addButton(QStringLiteral("Replace"), QMessageBox::AcceptRole);
    QPushButton *edit = alert->addButton(QStringLiteral("Edit Again"), QMessageBox::ActionRole);
    alert->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    alert->setDefaultButton(edit);
    connect(alert, &QMessageBox::finished, this, [=, this] {
        if (alert->clickedButton() == replace) {
            HistoryStore::AnnotationChange forced = change;
            forced.seen.reset();
            save(scanID, forced, typed);
        } else if (alert->clickedButton() == edit) {
            // The user's text where they changed it, the saved text elsewhere; notes that
            // both changed hold both, to be combined.
            SnapshotAnnotation merged{change.name ? typed.name : saved.name,
                                      change.notes ? typed.notes : saved.notes};
            if (change.notes && change.seen && saved.notes != change.seen->notes &&
                saved.notes != typed.notes && !saved.notes.isEmpty())
                merged.notes = typed.notes + QStringLiteral("\n\n") + saved.notes;
            QMetaObject::invokeMethod(
                this, [=, this] { open(scanID, saved, merged); }, Qt::QueuedConnection);
        }
    });
    alert->open();
}
