#include "common/StoreCountry.h"

#include <QCollator>
#include <QLocale>
#include <QMutex>
#include <QSettings>

#include <algorithm>
#include <array>

namespace {

const QString settingKey = QStringLiteral("storeCountry");

QMutex overrideLock;
QString overrideCode;

// Codes Qt knows that name no country with a store of its own: a union, a continent, and
// uninhabited islands or parts of a country whose store serves them.
constexpr std::array<const char *, 14> notCountries{"ac", "aq", "bv", "cp", "dg", "ea", "eu",
                                                    "gs", "hm", "ic", "qo", "ta", "tf", "um"};

QLocale::Territory territory(const QString &code)
{
    return QLocale::codeToTerritory(code.toUpper());
}

} // namespace

bool StoreCountry::isValid(const QString &code)
{
    if (code.size() != 2 || !std::all_of(code.begin(), code.end(), [](QChar c) {
            return c.unicode() < 128 && c.isLetter();
        }))
        return false;
    const QLocale::Territory found = territory(code);
    const QByteArray lower = code.toLower().toLatin1();
    return found != QLocale::AnyTerritory && found != QLocale::World &&
        std::none_of(notCountries.begin(), notCountries.end(),
                     [&lower](const char *other) { return lower == other; });
}

QString StoreCountry::current()
{
    {
        const QMutexLocker locker(&overrideLock);
        if (!overrideCode.isEmpty())
            return overrideCode;
    }
    // A setting someone edited by hand into nonsense is the default store, not a failed lookup.
    const QString saved = QSettings().value(settingKey).toString().toLower();
    return isValid(saved) ? saved : defaultCode;
}

void StoreCountry::save(const QString &code)
{
    QSettings().setValue(settingKey, code.toLower());
}

void StoreCountry::setForThisRun(const QString &code)
{
    const QMutexLocker locker(&overrideLock);
    overrideCode = code.toLower();
}

QString StoreCountry::storeName(const QString &code)
{
    if (code == defaultCode)
        return QStringLiteral("the US App Store");
    return QStringLiteral("the App Store of %1").arg(QLocale::territoryToString(territory(code)));
}

QList<std::pair<QString, QString>> StoreCountry::countries()
{
    QList<std::pair<QString, QString>> result;
    for (int value = QLocale::AnyTerritory + 1; value <= QLocale::LastTerritory; ++value) {
        const auto each = QLocale::Territory(value);
        const QString code = QLocale::territoryToCode(each);
        if (each != QLocale::World && code.size() == 2 && isValid(code))
            result.append({code.toLower(), QLocale::territoryToString(each)});
    }
    QCollator collator;
    std::sort(result.begin(), result.end(), [&collator](const auto &a, const auto &b) {
        return collator.compare(a.second, b.second) < 0;
    });
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
}
