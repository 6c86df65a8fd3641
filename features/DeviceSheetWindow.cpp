#include "features/DeviceSheetWindow.h"

#include "common/PlainText.h"
#include "features/StorageBar.h"
#include "history/DeviceReview.h"
#include "scanning/Inventory.h"
#include "scanning/device/DeviceFacts.h"
#include "widgets/DetailParts.h"
#include "widgets/SelectableText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QString deviceTitle(const Inventory &scan)
{
    const QString name = scan.deviceName.value_or(QString()).trimmed();
    return name.isEmpty() ? QStringLiteral("Unnamed device") : PlainText::oneLine(name);
}

QString scanLine(const Inventory &scan)
{
    if (!scan.scannedAt)
        return QStringLiteral("From a saved scan");
    return QStringLiteral("From the scan of %1")
        .arg(QLocale::system().toString(scan.scannedAt->toLocalTime(), QLocale::ShortFormat));
}

QWidget *storageBar(const DeviceFacts &facts, std::optional<qint64> appBytes, const QString &text)
{
    if (!facts.totalDataCapacity || !facts.totalDataAvailable)
        return nullptr;
    return new StorageBar(*facts.totalDataCapacity,
                          *facts.totalDataCapacity - *facts.totalDataAvailable,
                          appBytes.value_or(-1), text);
}

} // namespace

DeviceSheetWindow::DeviceSheetWindow(const Inventory &scan, QWidget *window) : QDialog(window)
{
    setObjectName(QStringLiteral("deviceDetails"));
    setWindowTitle(QStringLiteral("Device Details"));
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(560, 480);
    resize(640, 620);

    const DeviceReview review(scan);
    QStringList text{deviceTitle(scan), scanLine(scan)};

    auto *name = DetailParts::plainLabel(deviceTitle(scan));
    name->setObjectName(QStringLiteral("deviceName"));
    name->setFont(DetailParts::fontOf(24, QFont::DemiBold));
    name->setWordWrap(true);
    name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *from = DetailParts::plainLabel(scanLine(scan));
    from->setFont(DetailParts::fontOf(12));
    DetailParts::makeSecondary(from);
    auto *header = new QVBoxLayout;
    header->setContentsMargins(24, 0, 24, 0);
    header->setSpacing(5);
    header->addWidget(name);
    header->addWidget(from);

    auto *document = new QWidget;
    auto *sections = new QVBoxLayout(document);
    sections->setContentsMargins(24, 8, 24, 8);
    sections->setSpacing(16);

    if (!review.warnings().isEmpty()) {
        auto *warnings = new QVBoxLayout;
        warnings->setSpacing(6);
        warnings->addWidget(DetailParts::heading(review.warningsCount()));
        text << QString() << review.warningsCount();
        const QIcon icon = style()->standardIcon(QStyle::SP_MessageBoxWarning);
        for (const DeviceWarnings::Warning &warning : review.warnings()) {
            auto *line = new QHBoxLayout;
            line->setSpacing(8);
            auto *mark = new QLabel;
            mark->setPixmap(icon.pixmap(16, 16));
            mark->setAccessibleName(QStringLiteral("Warning"));
            line->addWidget(mark, 0, Qt::AlignTop);
            SelectableText *value = DetailParts::value(warning.text, QStringLiteral("Warning"),
                                                       DetailParts::fontOf(13));
            value->setObjectName(warning.key);
            line->addWidget(value, 1);
            warnings->addLayout(line);
            text << QStringLiteral("! ") + warning.text;
        }
        sections->addLayout(warnings);
    }

    const std::optional<qint64> appBytes = DeviceReview::appBytes(scan);
    for (const DeviceDescription::Section &section : review.sections()) {
        auto *group = new QVBoxLayout;
        group->setSpacing(10);
        group->addWidget(DetailParts::heading(section.title));
        text << QString() << section.title;
        if (section.title == u"Storage") {
            const QString split = DeviceDescription::storageBreakdown(scan.deviceFacts(), appBytes);
            if (QWidget *bar = storageBar(scan.deviceFacts(), appBytes, split))
                group->addWidget(bar);
        }
        auto *grid = new QGridLayout;
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setVerticalSpacing(8);
        grid->setHorizontalSpacing(16);
        grid->setColumnMinimumWidth(0, 150);
        grid->setColumnStretch(1, 1);
        for (int i = 0; i < section.lines.size(); ++i) {
            const auto &[caption, value] = section.lines[i];
            grid->addWidget(DetailParts::caption(caption), i, 0, Qt::AlignTop);
            grid->addWidget(DetailParts::value(value, caption, DetailParts::fontOf(13)), i, 1,
                            Qt::AlignTop);
            text << caption + QStringLiteral(": ") + value;
        }
        group->addLayout(grid);
        sections->addLayout(group);
    }
    if (review.sections().isEmpty()) {
        auto *none = DetailParts::plainLabel(
            QStringLiteral("This scan holds nothing the device said about itself: it was made "
                           "before Quillet asked, or the device kept it to itself."));
        none->setWordWrap(true);
        sections->addWidget(none);
    }
    auto *footnote = DetailParts::plainLabel(
        QStringLiteral("Battery health is an estimate from the battery's own capacities; the "
                       "device's Settings may round it differently."));
    footnote->setFont(DetailParts::fontOf(12));
    footnote->setWordWrap(true);
    DetailParts::makeSecondary(footnote);
    sections->addWidget(footnote);
    sections->addStretch(1);
    m_detailsText = text.join(u'\n');

    DetailParts::layOut(this, header, document, QStringLiteral("Device details"), m_detailsText);
}
