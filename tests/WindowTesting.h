#pragma once

// Helpers for the tests that drive the real windows offscreen.

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QStringList>
#include <QTest>
#include <QTextDocumentFragment>

namespace WindowTesting {

inline QStringList items(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts.append(box->itemText(i));
    return texts;
}

// What a tooltip shows a person: tooltips carry outside text escaped as markup.
inline QString shownToolTip(const QString &tip)
{
    return QTextDocumentFragment::fromHtml(tip).toPlainText();
}

// Picks an entry with the arrow keys, which reports the choice as a user's pick does.
inline void choose(QComboBox *box, const QString &text)
{
    const int target = box->findText(text);
    for (int step = 0; step < box->count() && box->currentIndex() != target; ++step)
        QTest::keyClick(box, box->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
    QVERIFY2(target >= 0 && box->currentIndex() == target, qPrintable(text));
}

// The window's command titled `text`, as its menu item reads now.
inline QAction *command(const QWidget *window, const QString &text)
{
    for (QAction *action : window->findChildren<QAction *>()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

// Saves to `path` as a user typing it in would.
inline void answer(QFileDialog *panel, const QString &path)
{
    panel->selectFile(path);
    // QFileDialog hides its accept(), which checks the name, behind QDialog's.
    static_cast<QDialog *>(panel)->accept();
}

} // namespace WindowTesting
