#include "widgets/Sheet.h"

#include "common/PlainText.h"
#include "widgets/UrlOpener.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QUrl>

#include <algorithm>

namespace {

// Escape closes every alert: where Qt finds no button to take it (an OK beside Visit Website or
// Copy Whole Message), the one that accepts does. Chosen as the alert shows, when its buttons
// are all there, and before Qt looks for one itself.
class EscapeButton : public QObject {
public:
    explicit EscapeButton(QMessageBox *alert) : QObject(alert), m_alert(alert) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_alert && event->type() == QEvent::Show && !m_alert->escapeButton()) {
            const QList<QAbstractButton *> buttons = m_alert->buttons();
            const bool found = buttons.size() == 1 ||
                std::any_of(buttons.begin(), buttons.end(), [this](QAbstractButton *button) {
                                   const QMessageBox::ButtonRole role = m_alert->buttonRole(button);
                                   return role == QMessageBox::RejectRole ||
                                       role == QMessageBox::NoRole ||
                                       m_alert->standardButton(button) == QMessageBox::Cancel;
                               });
            for (QAbstractButton *button : buttons) {
                if (!found && m_alert->buttonRole(button) == QMessageBox::AcceptRole) {
                    m_alert->setEscapeButton(button);
                    break;
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QMessageBox *m_alert;
};

constexpr int minimumWidth = 420;
// A few lines of an alert.
constexpr qsizetype messageLimit = 600;

} // namespace

QMessageBox *Sheet::alert(QWidget *window, QMessageBox::Icon icon, const QString &message,
                          const QString &informative)
{
    auto *alert = new QMessageBox(window);
    alert->setIcon(icon);
    alert->installEventFilter(new EscapeButton(alert));
    // A sheet on the Mac has no title; elsewhere the window manager shows one, and a message
    // cut short there says less than the application's name.
    alert->setWindowTitle(QGuiApplication::applicationDisplayName());
    // Messages carry names and tool output: never markup, never a link. The informative label
    // is made on first use, so it is made with harmless text before every label is made plain.
    alert->setInformativeText(QStringLiteral(" "));
    for (QLabel *label : alert->findChildren<QLabel *>()) {
        label->setTextFormat(Qt::PlainText);
        label->setOpenExternalLinks(false);
    }
    alert->setText(PlainText::shortened(message, messageLimit));
    alert->setInformativeText(PlainText::shortened(informative, messageLimit));
    // A tool can explain itself at length: the alert shows the start, the button copies it all.
    if (message.size() > messageLimit || informative.size() > messageLimit) {
        alert->addButton(QMessageBox::Ok);
        QPushButton *copy =
            alert->addButton(QStringLiteral("Copy Whole Message"), QMessageBox::ActionRole);
        QObject::connect(copy, &QPushButton::clicked, alert, [message, informative] {
            QGuiApplication::clipboard()->setText(
                informative.isEmpty() ? message : message + QStringLiteral("\n\n") + informative);
        });
    }
    // Wide enough that a short message does not make a narrow box, nor a path break early. Not
    // through the message's label: a minimum width there hides the text's own width from the
    // box, which then neither wraps nor widens it, and cuts it off.
    if (auto *buttons = alert->findChild<QDialogButtonBox *>())
        buttons->setMinimumWidth(minimumWidth);
    alert->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { font-weight: bold; }"));
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    return alert;
}

QLabel *Sheet::prepare(QDialog *dialog, const QString &name, const QString &title)
{
    dialog->setObjectName(name);
    dialog->setWindowTitle(title);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto *message = new QLabel(title);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    return message;
}

QDialogButtonBox *Sheet::acceptOrCancel(QDialog *dialog, const QString &accept)
{
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(accept, QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

void Sheet::askForSavePath(QWidget *window, const QString &title, const QString &proposedPath,
                           const QString &nameFilter, std::function<void(const QString &)> save)
{
    auto *panel = new QFileDialog(window, title);
    panel->setObjectName(QStringLiteral("savePanel"));
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setFileMode(QFileDialog::AnyFile);
    panel->setDirectory(QFileInfo(proposedPath).absolutePath());
    panel->selectFile(QFileInfo(proposedPath).fileName());
    if (!nameFilter.isEmpty()) {
        panel->setNameFilter(nameFilter);
        panel->setDefaultSuffix(QStringLiteral("pdf"));
    }
    panel->setWindowModality(Qt::WindowModal);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(panel, &QFileDialog::fileSelected, panel,
                     [save = std::move(save)](const QString &path) {
                         if (!path.isEmpty())
                             save(path);
                     });
    panel->open();
}

void Sheet::openUrl(QWidget *window, const QUrl &url, const QString &failure, const QString &what)
{
    const QPointer<QWidget> shown(window);
    UrlOpener::open(window, url, [shown, url, failure, what] {
        if (!shown)
            return;
        // A path or address on a line of its own, so that it does not break after its first "/".
        alert(shown, QMessageBox::Warning, failure,
              QStringLiteral("No web browser is set up to show it. %1:\n\u201C%2\u201D")
                  .arg(what, url.isLocalFile() ? url.toLocalFile() : url.toString()))
            ->open();
    });
}

bool Sheet::isShowing(const QWidget *window)
{
    if (!window)
        return false;
    const QList<QDialog *> dialogs = window->findChildren<QDialog *>();
    return std::any_of(dialogs.begin(), dialogs.end(), [window](const QDialog *dialog) {
        return dialog->isVisible() && dialog->parentWidget() == window &&
            dialog->windowModality() == Qt::WindowModal;
    });
}
