#include "app/cli/Device.h"

#include "app/cli/History.h"
#include "app/cli/Printer.h"
#include "app/cli/ScanArgument.h"
#include "common/PlainText.h"
#include "history/DeviceReview.h"
#include "scanning/device/DeviceFacts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString jsonOption = QStringLiteral("json");

} // namespace

Device::Device()
    : Command({
          .name = QStringLiteral("device"),
          .usage = QStringLiteral("device [SCAN] [--json]"),
          .summary = QStringLiteral("Show what the device said about itself, with its warnings"),
          .positionalMax = 1,
          .options = {{jsonOption, QStringLiteral("Write the device sheet as JSON.")}},
      })
{}

int Device::execute(const QCommandLineParser &parser, Printer &printer) const
{
    const Inventory shown = ScanArgument::inventory(parser.positionalArguments().value(0));
    const DeviceReview review(shown);
    if (parser.isSet(jsonOption)) {
        QJsonArray sections;
        for (const DeviceDescription::Section &section : review.sections()) {
            QJsonArray lines;
            for (const auto &[caption, text] : section.lines)
                lines.append(QJsonObject{{QStringLiteral("caption"), caption},
                                         {QStringLiteral("text"), text}});
            sections.append(QJsonObject{{QStringLiteral("title"), section.title},
                                        {QStringLiteral("lines"), lines}});
        }
        QJsonArray warnings;
        for (const DeviceWarnings::Warning &warning : review.warnings())
            warnings.append(QJsonObject{{QStringLiteral("key"), warning.key},
                                        {QStringLiteral("text"), warning.text}});
        const std::optional<qint64> health = shown.deviceFacts().batteryHealth();
        // The scan's keys as history --json gives them, then the sheet.
        QJsonObject object =
            History::scanJson(shown.scanID.value_or(QString()), shown, shown.namedRows().size());
        object.insert(QStringLiteral("batteryHealth"), health ? QJsonValue(*health) : QJsonValue());
        object.insert(QStringLiteral("sections"), sections);
        object.insert(QStringLiteral("warnings"), warnings);
        printer.printJson(QJsonDocument(object).toJson(QJsonDocument::Compact));
        return 0;
    }
    QTextStream &out = printer.out();
    if (shown.deviceName && !shown.deviceName->trimmed().isEmpty())
        out << PlainText::printable(shown.deviceName->trimmed(), true) << "\n";
    if (review.sections().isEmpty())
        out << "The scan holds nothing the device said about itself.\n";
    for (const DeviceDescription::Section &section : review.sections()) {
        out << "\n" << section.title << "\n";
        qsizetype width = 0;
        for (const auto &[caption, text] : section.lines)
            width = std::max(width, caption.size());
        for (const auto &[caption, text] : section.lines)
            out << "  " << caption.leftJustified(width) << "  " << PlainText::printable(text, true)
                << "\n";
    }
    if (!review.warnings().isEmpty()) {
        out << "\nWarnings\n";
        for (const DeviceWarnings::Warning &warning : review.warnings())
            out << "  ! " << PlainText::printable(warning.text, true) << "\n";
    }
    return 0;
}
