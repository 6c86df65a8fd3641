#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QDialog;
class QDialogButtonBox;
class QLabel;
class QUrl;
class QWidget;

// Dialogs attached to a window, as sheets are on the Mac: window-modal, opened without blocking,
// deleted when they close.
class Sheet {
public:
    // An alert with the message in bold above the explanation.
    static QMessageBox *alert(QWidget *window, QMessageBox::Icon icon, const QString &message,
                              const QString &informative = QString());
    // Makes `dialog` a sheet of ours: named, titled, window-modal and deleted when it closes.
    // Returns the bold label of its message, which heads it.
    static QLabel *prepare(QDialog *dialog, const QString &name, const QString &title);
    // Its buttons: `accept` (the default) and Cancel, which end it.
    static QDialogButtonBox *acceptOrCancel(QDialog *dialog, const QString &accept);
    // A save panel proposing `proposedPath`; `save` runs with the chosen path on confirmation.
    // An empty `nameFilter` allows any file; otherwise the default suffix is "pdf".
    static void askForSavePath(QWidget *window, const QString &title, const QString &proposedPath,
                               const QString &nameFilter,
                               std::function<void(const QString &)> save);
    // Opens `url` in the user's browser or viewer; when none can, says so in an alert titled
    // `failure` that gives the address, introduced by `what` ("The website is").
    static void openUrl(QWidget *window, const QUrl &url, const QString &failure,
                        const QString &what);
    // Whether a window-modal dialog is showing on `window`.
    static bool isShowing(const QWidget *window);

    Sheet() = delete;
};
