#include "app/MainWindow.h"

#include "app/BusyIndicator.h"
#include "app/ElidedLabel.h"
#include "common/Plural.h"
#include "scanning/AppList.h"
#include "widgets/TableCopy.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Secondary and tertiary text: the window text, fainter.
void setFaint(QWidget *widget, double alpha)
{
    QPalette palette = widget->palette();
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(alpha);
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

QFont fontOfSize(double pixels, QFont::Weight weight = QFont::Normal)
{
    QFont font = QApplication::font();
    font.setPixelSize(qRound(pixels));
    font.setWeight(weight);
    return font;
}

QHBoxLayout *row(int spacing)
{
    auto *layout = new QHBoxLayout;
    layout->setSpacing(spacing);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

QPushButton *button(const QString &title, const char *name = nullptr)
{
    auto *result = new QPushButton(title);
    result->setAutoDefault(false);
    if (name)
        result->setObjectName(QLatin1StringView(name));
    return result;
}

} // namespace

MainWindow::MainWindow(QWidget *table, bool demo)
{
    setWindowTitle(demo ? QStringLiteral("Quillet \u2014 Demo Device") : QStringLiteral("Quillet"));
    setMinimumSize(860, 540);
    resize(1190, 760);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("content"));
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(24, 25, 24, 18);
    layout->setSpacing(0);

    layout->addLayout(buildHeader());
    m_deviceLine = new ElidedLabel;
    m_deviceLine->setObjectName(QStringLiteral("deviceLine"));
    m_deviceLine->setAccessibleDescription(QStringLiteral("Device"));
    m_deviceLine->setFont(fontOfSize(15));
    m_deviceLine->hide();
    // Beside the facts: the way to all of them, and how many warnings they carry.
    m_deviceDetails = button(QStringLiteral("Details\u2026"), "deviceDetails");
    m_deviceDetails->setFlat(true);
    m_deviceDetails->hide();
    auto *deviceRow = row(8);
    deviceRow->addWidget(m_deviceLine, 1);
    deviceRow->addWidget(m_deviceDetails);
    layout->addLayout(deviceRow);
    layout->addSpacing(8);
    auto *subtitle = new QLabel(QStringLiteral(
        "Connect and unlock your iPhone or iPad, then scan to refresh your inventory."));
    setFaint(subtitle, 0.6);
    layout->addWidget(subtitle);
    layout->addSpacing(24);
    layout->addLayout(buildFilters());
    layout->addSpacing(12);
    layout->addLayout(buildHistoryRow());
    layout->addSpacing(12);
    layout->addWidget(table, 1);
    layout->addSpacing(14);
    layout->addLayout(buildStatusLine());
    layout->addSpacing(8);
    m_footer = new QLabel;
    m_footer->setObjectName(QStringLiteral("footer"));
    m_footer->setFont(fontOfSize(11));
    setFaint(m_footer, 0.35);
    layout->addWidget(m_footer);

    setCentralWidget(content);
}

QLayout *MainWindow::buildHeader()
{
    auto *title = new QLabel(QStringLiteral("Your apps, at a glance"));
    title->setFont(fontOfSize(27, QFont::Bold));
    m_smallerText = button(QStringLiteral("\u2212"), "smallerText");
    m_largerText = button(QStringLiteral("+"), "largerText");
    for (auto [sizeButton, text] :
         {std::pair(m_smallerText, QStringLiteral("Decrease table text size")),
          std::pair(m_largerText, QStringLiteral("Increase table text size"))}) {
        sizeButton->setToolTip(text);
        sizeButton->setAccessibleName(text);
        sizeButton->setFixedWidth(std::max(32, sizeButton->sizeHint().height() + 6));
    }
    m_scan = button(QStringLiteral("Scan Device"), "scan");
    m_scan->setDefault(true);
    // Wide enough for each of its titles, so that the header does not shift as they change.
    int scanWidth = 0;
    for (const QString &text : {QStringLiteral("Scan Device"), QStringLiteral("Cancel Scan"),
                                QStringLiteral("Loading\u2026")}) {
        m_scan->setText(text);
        scanWidth = std::max(scanWidth, m_scan->sizeHint().width());
    }
    m_scan->setText(QStringLiteral("Scan Device"));
    m_scan->setMinimumWidth(scanWidth);
#ifndef Q_OS_MACOS
    // macOS draws the default button in the accent colour; elsewhere tint it ourselves.
    QPalette accent = m_scan->palette();
    accent.setColor(QPalette::Button, accent.color(QPalette::Highlight));
    accent.setColor(QPalette::ButtonText, accent.color(QPalette::HighlightedText));
    m_scan->setPalette(accent);
#endif
    m_export = button(QStringLiteral("Export CSV\u2026"), "export");
    m_exportSpreadsheet = button(QStringLiteral("Export Spreadsheet\u2026"), "exportSpreadsheet");

    QHBoxLayout *header = row(12);
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(m_smallerText);
    header->addWidget(m_largerText);
    header->addWidget(m_scan);
    header->addWidget(m_export);
    header->addWidget(m_exportSpreadsheet);
    return header;
}

QLayout *MainWindow::buildFilters()
{
    m_search = new QLineEdit;
    m_search->setObjectName(QStringLiteral("search"));
    m_search->setPlaceholderText(QStringLiteral("Search apps or bundle identifiers"));
    m_search->setClearButtonEnabled(true);
    m_search->setAccessibleName(QStringLiteral("Search apps"));
    for (QToolButton *clear : m_search->findChildren<QToolButton *>())
        clear->setAccessibleName(QStringLiteral("Clear search"));
    m_search->setMinimumWidth(300);
    m_search->installEventFilter(this);
    m_category = new QComboBox;
    m_category->setObjectName(QStringLiteral("category"));
    m_category->setAccessibleName(QStringLiteral("Category"));
    m_category->addItem(AppList::allCategories);
    m_category->setFixedWidth(220);
    m_show = new QComboBox;
    m_show->setObjectName(QStringLiteral("show"));
    m_show->setAccessibleName(QStringLiteral("Show"));
    for (const RowFilter &filter : RowFilter::all())
        m_show->addItem(filter.name);
    m_show->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_count = new QLabel;
    m_count->setObjectName(QStringLiteral("count"));
    m_count->setFixedWidth(165);
    setFaint(m_count, 0.6);

    QHBoxLayout *filters = row(14);
    filters->addWidget(m_search, 1);
    filters->addWidget(m_category);
    filters->addWidget(m_show);
    filters->addWidget(m_count);
    return filters;
}

QLayout *MainWindow::buildHistoryRow()
{
    m_historyPicker = new QComboBox;
    m_historyPicker->setObjectName(QStringLiteral("historyPicker"));
    m_historyPicker->addItem(QStringLiteral("Current inventory"));
    m_historyPicker->setAccessibleName(QStringLiteral("Scan history"));
    m_historyPicker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_historyPicker->setMinimumContentsLength(12);
    m_historyPicker->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // "&&": a single "&" would mark a keyboard mnemonic.
    m_editSnapshot = button(QStringLiteral("Name && Notes\u2026"), "editSnapshot");
    m_editSnapshot->setEnabled(false);
    m_compare = button(QStringLiteral("Compare Scans\u2026"), "compare");
    m_exportPDF = button(QStringLiteral("Export PDF\u2026"), "exportPDF");

    QHBoxLayout *history = row(12);
    history->addWidget(new QLabel(QStringLiteral("Scan History")));
    history->addWidget(m_historyPicker, 1);
    history->addWidget(m_editSnapshot);
    history->addWidget(m_compare);
    history->addWidget(m_exportPDF);
    return history;
}

QLayout *MainWindow::buildStatusLine()
{
    m_spinner = new BusyIndicator;
    m_spinner->setObjectName(QStringLiteral("spinner"));
    m_status = new ElidedLabel;
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setAccessibleDescription(QStringLiteral("Status"));
    m_status->setText(QStringLiteral("Loading saved inventory\u2026"));
    setFaint(m_status, 0.6);

    QHBoxLayout *status = row(8);
    status->addWidget(m_spinner);
    status->addWidget(m_status, 1);
    return status;
}

QList<WindowCommand> MainWindow::commands()
{
    using Group = WindowCommand::Group;
    auto forward = [](auto lineEdit, auto textEdit, void (*view)(QTableView *)) {
        return [=] {
            QWidget *focus = QApplication::focusWidget();
            if (auto *line = qobject_cast<QLineEdit *>(focus))
                (line->*lineEdit)();
            else if (auto *text = qobject_cast<QTextEdit *>(focus))
                (text->*textEdit)();
            else if (auto *table = qobject_cast<QTableView *>(focus); table && view)
                view(table);
        };
    };
    auto selectAll = [](QTableView *table) { table->selectAll(); };
    auto copyRows = [](QTableView *table) {
        if (const QString rows = TableCopy::selectedRows(table); !rows.isEmpty())
            QGuiApplication::clipboard()->setText(rows);
    };
    auto edit = [](const QString &title, QKeySequence::StandardKey key, std::function<void()> run) {
        return WindowCommand{.group = Group::Clipboard,
                             .title = title,
                             .run = std::move(run),
                             .standardKey = key,
                             .reach = WindowCommand::Reach::EveryWindow};
    };
    return {
        edit(QStringLiteral("Cut"), QKeySequence::Cut,
             forward(&QLineEdit::cut, &QTextEdit::cut, nullptr)),
        edit(QStringLiteral("Copy"), QKeySequence::Copy,
             forward(&QLineEdit::copy, &QTextEdit::copy, copyRows)),
        edit(QStringLiteral("Paste"), QKeySequence::Paste,
             forward(&QLineEdit::paste, &QTextEdit::paste, nullptr)),
        edit(QStringLiteral("Select All"), QKeySequence::SelectAll,
             forward(&QLineEdit::selectAll, &QTextEdit::selectAll, selectAll)),
        {.group = Group::Find,
         .title = QStringLiteral("Find"),
         .run =
             [this] {
                 m_search->setFocus(Qt::ShortcutFocusReason);
                 m_search->selectAll();
             },
         .standardKey = QKeySequence::Find},
    };
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // A line edit keeps emacs keys for itself on X11 (Ctrl+E ends the line, Ctrl+P goes up):
    // in the search field, the window's commands come first.
    if (watched == m_search && event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (m_commandKeys.contains(QKeySequence(key->keyCombination()))) {
            event->ignore();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::setScanState(ScanState state)
{
    switch (state) {
    case ScanState::Idle:
        m_scan->setText(QStringLiteral("Scan Device"));
        m_spinner->stop();
        break;
    case ScanState::Scanning:
        m_scan->setText(QStringLiteral("Cancel Scan"));
        m_spinner->start();
        break;
    case ScanState::Loading:
        m_scan->setText(QStringLiteral("Loading\u2026"));
        m_spinner->start();
        break;
    }
}

void MainWindow::setStatus(const QString &text)
{
    m_status->setText(text);
}

QString MainWindow::status() const
{
    return m_status->text();
}

void MainWindow::setStoreName(const QString &store, qsizetype updates)
{
    QString text = QStringLiteral("Sizes are device-reported \u2022 Blank values are "
                                  "unavailable \u2022 Categories use ") +
        store;
    if (updates > 0)
        text += QStringLiteral(" \u2022 ") +
            Plural::of(updates, QStringLiteral("update available"),
                       QStringLiteral("updates available"));
    m_footer->setText(text);
}

void MainWindow::setDeviceLine(const QString &text, const QString &warnings)
{
    m_deviceLine->setText(text);
    m_deviceLine->setVisible(!text.isEmpty());
    m_deviceDetails->setText(warnings.isEmpty()
                                 ? QStringLiteral("Details\u2026")
                                 : warnings + QStringLiteral(" \u2014 Details\u2026"));
    // A screen reader hears the count too.
    m_deviceDetails->setAccessibleName(warnings.isEmpty()
                                           ? QStringLiteral("Device Details")
                                           : QStringLiteral("Device Details, ") + warnings);
    m_deviceDetails->setIcon(
        warnings.isEmpty() ? QIcon() : style()->standardIcon(QStyle::SP_MessageBoxWarning));
    m_deviceDetails->setVisible(!text.isEmpty());
}

QString MainWindow::deviceLine() const
{
    return m_deviceLine->text();
}
