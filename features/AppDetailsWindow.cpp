#include "features/AppDetailsWindow.h"

#include "common/Locations.h"
#include "common/PlainText.h"
#include "features/StoreArtwork.h"
#include "scanning/Column.h"
#include "scanning/DeviceIcons.h"
#include "scanning/RowFilter.h"
#include "scanning/device/DeviceDescription.h"
#include "widgets/DetailParts.h"
#include "widgets/SelectableText.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QTimeZone>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QString notAvailable = QStringLiteral("Not available");

SelectableText *valueLabel(const QString &text, const QString &captionText, const QFont &font)
{
    return DetailParts::value(text, captionText, font);
}

QString sizeText(const QString &value)
{
    return value == notAvailable ? value : value + QStringLiteral(" MB");
}

// Every date of the window in one style: the user's short date.
QString dayText(const QDate &day)
{
    return QLocale::system().toString(day, QLocale::ShortFormat);
}

// A moment in seconds since 1970 as the user's short date.
QString shortDate(const QString &text)
{
    bool ok = false;
    const double seconds = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || std::abs(seconds) > 1e14)
        return notAvailable;
    const QDateTime moment =
        QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000)), QTimeZone::utc());
    return dayText(moment.toLocalTime().date());
}

// The column's value as the details show it.
QString shown(const Row &row, const Column &column)
{
    // The scan's day is kept as the table shows it, month first; here it reads as the others.
    if (column.source == Column::Source::ScanDate) {
        const QDate day = QDate::fromString(row.value(column.name), u"MM/dd/yyyy");
        if (day.isValid())
            return dayText(day);
    }
    switch (column.kind) {
    case Column::Kind::Moment:
        return shortDate(row.value(column.name));
    case Column::Kind::Megabytes:
        return sizeText(AppDetailsWindow::value(row, column.name));
    case Column::Kind::Text:
    case Column::Kind::Version:
        break;
    }
    return AppDetailsWindow::value(row, column.name);
}

// Where the window shows a column. The sections come in this order, top to bottom.
enum class Place { Title, Information, Identifier, Size, DeviceAndScan };

struct Field {
    const QString &column;
    Place place;
    // In the "App information" section: the right column of facts rather than the left.
    bool onRight = false;
    // The caption, when not the column's name.
    const char *caption = nullptr;
    // A column scans have had only lately: shown only when the row has it, so that an older
    // scan's details stay as they were. What a blank cell means there, when not "Not available".
    bool recent = false;
    const char *blank = nullptr;
    // What the value means beside the row's other cells, added after it.
    QString (*remark)(const Row &) = nullptr;

    QString captionText() const { return caption ? QString::fromLatin1(caption) : column; }
    bool isShown(const Row &row) const { return !recent || row.contains(column); }
    QString text(const Row &row) const
    {
        if (blank && row.value(column).trimmed().isEmpty())
            return QString::fromLatin1(blank);
        return shown(row, Column::described(column)) + (remark ? remark(row) : QString());
    }
};

// The window's fields in the order of the copied text; each place shows its fields in this
// order too, so a new one is one line where it belongs.
const Field fields[] = {
    {Column::appName, Place::Title},
    {Column::version, Place::Information},
    {Column::updateAvailable, Place::Information, true},
    {Column::storeVersion, Place::Information},
    {Column::storeChecked, Place::Information},
    {Column::category, Place::Information, true},
    {Column::appType, Place::Information, true},
    {Column::minimumOS, Place::Information, false, nullptr, true},
    {Column::appSource, Place::Information, true, nullptr, true},
    {Column::offloaded, Place::Information, true, nullptr, true, "No",
     [](const Row &row) {
         return RowFilter::named(RowFilter::cannotBeRestored)->matches(row)
             ? QStringLiteral(" \u2014 no longer in the store, so it cannot be downloaded again")
             : QString();
     }},
    {Column::storePresence, Place::Information, false, nullptr, true},
    {Column::bundleIdentifier, Place::Identifier},
    {Column::appMB, Place::Size, false, "App"},
    {Column::dataMB, Place::Size, false, "Data"},
    {Column::totalMB, Place::Size, false, "Total"},
    {Column::scanDate, Place::DeviceAndScan},
    {Column::deviceIdentifier, Place::DeviceAndScan},
};

// Captions and values of the fields shown in one place of the window, in order.
QList<std::pair<QString, QString>> facts(const Row &row, Place place, bool onRight = false)
{
    QList<std::pair<QString, QString>> result;
    for (const Field &field : fields) {
        if (field.place == place && field.onRight == onRight && field.isShown(row))
            result.append({field.captionText(), field.text(row)});
    }
    return result;
}

QString deviceName(const Inventory &inventory)
{
    const QString name = inventory.deviceName.value_or(QString()).trimmed();
    return name.isEmpty() ? notAvailable : PlainText::isolated(name);
}

// Captions and values in two columns, one row per field.
QGridLayout *grid(const QList<std::pair<QString, QString>> &fields, int captionWidth,
                  int rowSpacing, int columnSpacing)
{
    auto *layout = new QGridLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setVerticalSpacing(rowSpacing);
    layout->setHorizontalSpacing(columnSpacing);
    layout->setColumnMinimumWidth(0, captionWidth);
    layout->setColumnStretch(1, 1);
    for (int i = 0; i < fields.size(); ++i) {
        layout->addWidget(DetailParts::caption(fields[i].first), i, 0, Qt::AlignTop);
        layout->addWidget(valueLabel(fields[i].second, fields[i].first, DetailParts::fontOf(13)), i,
                          1, Qt::AlignTop);
    }
    return layout;
}

} // namespace

QString AppDetailsWindow::value(const Row &row, const QString &column)
{
    const QString text = row.value(column).trimmed();
    return text.isEmpty() ? notAvailable : text;
}

QString AppDetailsWindow::detailsText(const Row &row, const Inventory &inventory)
{
    QStringList lines;
    bool deviceShown = false;
    for (const Field &field : fields) {
        if (!field.isShown(row))
            continue;
        const QString text = field.text(row);
        switch (field.place) {
        case Place::Title:
            lines.append(text);
            break;
        case Place::Size:
            lines.append(field.captionText() + QStringLiteral(" size: ") + text);
            break;
        case Place::DeviceAndScan:
            // The device's name is the inventory's, not a column, and heads its section.
            if (!std::exchange(deviceShown, true)) {
                lines.append(QStringLiteral("Device: ") + deviceName(inventory));
                for (const auto &[caption, text] :
                     DeviceDescription::details(inventory.deviceFacts()))
                    lines.append(caption + QStringLiteral(": ") + text);
            }
            lines.append(field.captionText() + QStringLiteral(": ") + text);
            break;
        default:
            lines.append(field.captionText() + QStringLiteral(": ") + text);
            break;
        }
    }
    return lines.join(u'\n');
}

AppDetailsWindow::AppDetailsWindow(const Row &row, const Inventory &inventory, QWidget *window)
    : QDialog(window), m_detailsText(detailsText(row, inventory))
{
    setObjectName(QStringLiteral("appDetails"));
    setWindowTitle(QStringLiteral("App Details"));
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(640, 520);
    resize(720, 580);

    // Header: icon and name.
    m_icon = new QLabel;
    m_icon->setObjectName(QStringLiteral("icon"));
    m_icon->setFixedSize(64, 64);
    m_icon->setScaledContents(false);
    m_icon->setAlignment(Qt::AlignCenter);
    auto *name = DetailParts::plainLabel(facts(row, Place::Title).value(0).second);
    name->setObjectName(QStringLiteral("appName"));
    name->setFont(DetailParts::fontOf(24, QFont::DemiBold));
    name->setWordWrap(true);
    name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *from = DetailParts::plainLabel(QStringLiteral("Details from your saved scan"));
    from->setFont(DetailParts::fontOf(12));
    DetailParts::makeSecondary(from);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(5);
    titles->addWidget(name);
    titles->addWidget(from);
    auto *header = new QHBoxLayout;
    header->setSpacing(16);
    header->setContentsMargins(24, 0, 24, 0);
    header->addWidget(m_icon, 0, Qt::AlignVCenter);
    header->addLayout(titles, 1);

    // The scrolling document.
    auto *document = new QWidget;
    auto *sections = new QVBoxLayout(document);
    sections->setContentsMargins(24, 8, 24, 8);
    sections->setSpacing(16);

    auto *information = new QVBoxLayout;
    information->setSpacing(12);
    information->addWidget(DetailParts::heading(QStringLiteral("App information")));
    auto *columns = new QHBoxLayout;
    columns->setSpacing(24);
    for (bool onRight : {false, true})
        columns->addLayout(grid(facts(row, Place::Information, onRight), 102, 10, 12), 1);
    information->addLayout(columns);
    for (const auto &[label, text] : facts(row, Place::Identifier)) {
        SelectableText *identifier =
            valueLabel(label + QStringLiteral(": ") + text, label, DetailParts::fontOf(12));
        DetailParts::makeSecondary(identifier);
        information->addWidget(identifier);
    }
    sections->addLayout(information);

    auto *sizes = new QHBoxLayout;
    sizes->setSpacing(12);
    for (const auto &[label, text] : facts(row, Place::Size)) {
        auto *box = new QFrame;
        box->setObjectName(QStringLiteral("sizeBox"));
        box->setMinimumHeight(76);
        box->setStyleSheet(
            QStringLiteral("QFrame#sizeBox { border: 1px solid palette(mid); border-radius: 10px; "
                           "background: palette(base); }"));
        auto *inside = new QVBoxLayout(box);
        inside->setContentsMargins(12, 12, 12, 12);
        inside->setSpacing(8);
        inside->addWidget(DetailParts::caption(label));
        SelectableText *amount = valueLabel(text, label, DetailParts::fontOf(16, QFont::Medium));
        inside->addWidget(amount);
        sizes->addWidget(box, 1);
    }
    sections->addLayout(sizes);

    auto *device = new QVBoxLayout;
    device->setSpacing(12);
    device->addWidget(DetailParts::heading(QStringLiteral("Device and scan")));
    // The device's name is the inventory's, not a column, and heads the section.
    // The facts the device gave about itself follow its name, when the scan has them.
    QList<std::pair<QString, QString>> deviceFacts{
        {QStringLiteral("Device"), deviceName(inventory)}};
    deviceFacts += DeviceDescription::details(inventory.deviceFacts());
    deviceFacts += facts(row, Place::DeviceAndScan);
    device->addLayout(grid(deviceFacts, 115, 8, 16));
    sections->addLayout(device);

    auto *footnote = DetailParts::plainLabel(
        QStringLiteral("Missing sizes are unavailable, not zero. Scan date is not install date. "
                       "Updates and artwork reflect %1 at lookup time; availability can vary by "
                       "iOS version and account.")
            .arg(inventory.storeName()));
    footnote->setFont(DetailParts::fontOf(12));
    footnote->setWordWrap(true);
    DetailParts::makeSecondary(footnote);
    sections->addWidget(footnote);
    sections->addStretch(1);

    DetailParts::layOut(this, header, document, QStringLiteral("App details"), m_detailsText);

    QPointer<QLabel> icon = m_icon;
    const auto show = [icon](const QImage &image) {
        if (!icon || image.isNull())
            return;
        // Scaled for the screen's pixels, and marked so, or it is drawn that much larger.
        const qreal ratio = icon->devicePixelRatioF();
        QPixmap pixmap = QPixmap::fromImage(image).scaled(icon->size() * ratio, Qt::KeepAspectRatio,
                                                          Qt::SmoothTransformation);
        pixmap.setDevicePixelRatio(ratio);
        icon->setPixmap(pixmap);
    };
    const QString artwork = row.value(Column::artworkURL);
    // Apps the store has no artwork for may have the icon their device gave.
    if (artwork.isEmpty())
        show(DeviceIcons::cached(Locations::storage(), row.value(Column::bundleIdentifier),
                                 row.value(Column::version)));
    else
        StoreArtwork::image(artwork, m_icon, show);
}
