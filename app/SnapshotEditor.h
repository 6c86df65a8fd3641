#pragma once

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;

// The sheet in which a saved scan gets a name and notes.
class SnapshotEditor : public QDialog {
    Q_OBJECT

public:
    SnapshotEditor(const QString &name, const QString &notes, QWidget *window);

    QString name() const;
    QString notes() const;

private:
    QLineEdit *m_name = nullptr;
    QPlainTextEdit *m_notes = nullptr;
};
