#include "common/LaunchOptions.h"

#include "common/Locations.h"
#include "common/PersonalIdentifiers.h"
#include "common/StoreCountry.h"

#include <QUrl>

namespace {

const QString dataDir = QStringLiteral("data-dir");
const QString resources = QStringLiteral("resources");
const QString lookupURL = QStringLiteral("lookup-url");
const QString demo = QStringLiteral("demo");
const QString storeCountry = QStringLiteral("store-country");
const QString recordIdentifiers = QStringLiteral("record-identifiers");

} // namespace

QList<QCommandLineOption> LaunchOptions::options()
{
    return {
        {dataDir, QStringLiteral("Keep inventories and history in <folder>."),
         QStringLiteral("folder")},
        {resources, QStringLiteral("Use the device tools and help in <folder>."),
         QStringLiteral("folder")},
        {lookupURL,
         QStringLiteral("Ask the store lookup service at <url> (HTTPS, or HTTP on this machine)."),
         QStringLiteral("url")},
        {storeCountry,
         QStringLiteral("Ask the App Store of country <code> (two letters, such as fr) for this "
                        "run instead of the chosen one."),
         QStringLiteral("code")},
        {recordIdentifiers,
         QStringLiteral("Keep and show the identifiers of a person's phone (IMEI, phone number, "
                        "ICCID, Wi-Fi and Bluetooth addresses) for this run.")},
        {demo,
         QStringLiteral("Scan a made-up demo device instead of a real one; its data stays "
                        "apart.")},
    };
}

std::optional<QString> LaunchOptions::apply(const QCommandLineParser &parser)
{
    if (parser.isSet(demo) && (parser.isSet(dataDir) || parser.isSet(lookupURL)))
        return QStringLiteral("--demo keeps its own data folder and lookup; it takes neither "
                              "--data-dir nor --lookup-url");
    // An empty folder name would quietly mean the current folder.
    if (parser.isSet(dataDir) && parser.value(dataDir).isEmpty())
        return QStringLiteral("--data-dir needs a folder");
    if (parser.isSet(lookupURL) && !Locations::isAcceptableLookupURL(QUrl(parser.value(lookupURL))))
        return QStringLiteral(
            "the lookup URL must use HTTPS, or HTTP on 127.0.0.1, ::1 or localhost");
    if (parser.isSet(storeCountry) && !StoreCountry::isValid(parser.value(storeCountry)))
        return QStringLiteral("--store-country needs a country's two-letter code, such as fr");
    if (parser.isSet(storeCountry))
        StoreCountry::setForThisRun(parser.value(storeCountry));
    if (parser.isSet(recordIdentifiers))
        PersonalIdentifiers::recordForThisRun();
    if (parser.isSet(dataDir))
        Locations::setStorage(parser.value(dataDir));
    if (parser.isSet(resources))
        Locations::setResources(parser.value(resources));
    if (parser.isSet(lookupURL))
        Locations::setLookupURL(QUrl(parser.value(lookupURL)));
    return std::nullopt;
}

bool LaunchOptions::isDemo(const QCommandLineParser &parser)
{
    return parser.isSet(demo);
}
