#include "app/DeviceChooser.h"

#include "scanning/device/DeviceDescription.h"
#include "widgets/Sheet.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>
#include <QVBoxLayout>

DeviceChooser::DeviceChooser(const QList<ConnectedDevice> &devices, const QString &preselected,
                             QWidget *window)
    : QDialog(window), m_devices(devices)
{
    QLabel *message = Sheet::prepare(this, QStringLiteral("deviceChooser"),
                                     QStringLiteral("Choose a Device to Scan"));
    auto *informative = new QLabel(
        QStringLiteral("%1 devices are connected. Scan one of them, or scan them all in turn; "
                       "each scan is saved in the history on its own.")
            .arg(devices.size()));
    informative->setWordWrap(true);

    m_list = new QTreeWidget;
    m_list->setObjectName(QStringLiteral("devices"));
    m_list->setAccessibleName(QStringLiteral("Connected devices"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Model"),
                             QStringLiteral("System"), QStringLiteral("Identifier")});
    const QString unknown = QStringLiteral("\u2014");
    // The end of each identifier, long enough to tell these devices apart.
    const auto distinct = [&devices](qsizetype length) {
        QSet<QString> ends;
        for (const ConnectedDevice &device : devices)
            ends.insert(device.identifier.right(length));
        return ends.size() == devices.size();
    };
    qsizetype longest = 0;
    for (const ConnectedDevice &device : devices)
        longest = std::max(longest, device.identifier.size());
    qsizetype end = 8;
    while (end < longest && !distinct(end))
        ++end;
    for (const ConnectedDevice &device : devices) {
        const QString model = DeviceDescription::model(device.facts);
        const QString system = DeviceDescription::system(device.facts);
        // Items show plain text: a device's name is never read as markup.
        // A device that will not say its name is locked, or waits for Trust on its screen.
        auto *item = new QTreeWidgetItem(
            m_list,
            {device.name.value_or(QStringLiteral("Locked \u2014 unlock it and tap Trust")),
             model.isEmpty() ? unknown : model, system.isEmpty() ? unknown : system,
             QStringLiteral("\u2026") + device.identifier.right(end)});
        item->setToolTip(3, device.identifier);
        if (device.identifier == preselected)
            m_list->setCurrentItem(item);
    }
    if (!m_list->currentItem())
        m_list->setCurrentItem(m_list->topLevelItem(0));
    for (int column = 0; column < m_list->columnCount(); ++column)
        m_list->resizeColumnToContents(column);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    // Every device in view up to eight; more scroll.
    const int rows = std::min<int>(devices.size(), 8);
    m_list->setMinimumWidth(520);
    m_list->setFixedHeight(m_list->header()->sizeHint().height() +
                           rows * m_list->sizeHintForRow(0) + 2 * m_list->frameWidth());

    auto *buttons = new QDialogButtonBox;
    QPushButton *scan = buttons->addButton(QStringLiteral("Scan"), QDialogButtonBox::AcceptRole);
    scan->setDefault(true);
    QPushButton *scanAll =
        buttons->addButton(QStringLiteral("Scan All"), QDialogButtonBox::ActionRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(scan, &QPushButton::clicked, this, [this] {
        const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
        if (row < 0)
            return;
        accept();
        Q_EMIT chosen({m_devices.at(row)});
    });
    connect(scanAll, &QPushButton::clicked, this, [this] {
        accept();
        Q_EMIT chosen(m_devices);
    });
    connect(m_list, &QTreeWidget::itemActivated, scan, &QPushButton::click);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(10);
    layout->addWidget(message);
    layout->addWidget(informative);
    layout->addWidget(m_list);
    layout->addSpacing(6);
    layout->addWidget(buttons);
}
