#include "scanning/Scanner.h"

#include "common/Collation.h"
#include "common/DataFile.h"
#include "common/NetworkRequest.h"
#include "common/PlatformError.h"
#include "history/HistoryStore.h"
#include "scanning/PropertyList.h"
#include "scanning/ScanError.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSet>
#include <QStringDecoder>
#include <QTimeZone>
#include <QUrlQuery>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const QString timedOutMessage = QStringLiteral(
    "The device did not respond within three minutes. Unlock it, check the cable and Trust "
    "setting, then try again.");
const QString connectionFailedMessage =
    QStringLiteral("Device connection failed. Unlock your device and confirm Trust in Finder.");

QString quoted(const QString &text)
{
    return QChar(0x201C) + text + QChar(0x201D);
}

const QString lookupUnavailableMessage =
    QStringLiteral("Category lookup unavailable. Using cached categories where available.");

// Lookup pacing: at most this many apps per request, a pause of this many slices between
// requests, and this many slices of waiting for one answer (a little over its time-out).
constexpr qsizetype lookupBatchSize = 20;
constexpr int lookupPauseSlices = 31;
constexpr int lookupWaitSlices = 221;
constexpr auto lookupRequestTimeout = std::chrono::seconds(20);
constexpr double freshForSeconds = 86400;

const QStringList appListAttributes = {
    QStringLiteral("CFBundleIdentifier"), QStringLiteral("CFBundleDisplayName"),
    QStringLiteral("CFBundleName"),       QStringLiteral("CFBundleShortVersionString"),
    QStringLiteral("CFBundleVersion"),    QStringLiteral("ApplicationType"),
    QStringLiteral("StaticDiskUsage"),    QStringLiteral("DynamicDiskUsage"),
};

double secondsSince1970(const QDateTime &date)
{
    return double(date.toMSecsSinceEpoch()) / 1000.0;
}

// The text of a property-list value, if it is text at all.
std::optional<QString> textValue(const QVariantMap &app, const QString &key)
{
    const auto found = app.constFind(key);
    if (found == app.cend() || found->typeId() != QMetaType::QString)
        return std::nullopt;
    return found->toString();
}

std::optional<QString> jsonText(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

// The per-run folder holding the tool's output files; it never outlives runTool.
class OutputFolder {
public:
    OutputFolder()
        : m_path(QDir::tempPath() + u'/' +
                 QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper())
    {
        DataFile::makeFolder(m_path);
    }
    ~OutputFolder()
    {
        for (int fd : m_descriptors)
            ::close(fd);
        QDir(m_path).removeRecursively();
    }
    OutputFolder(const OutputFolder &) = delete;
    OutputFolder &operator=(const OutputFolder &) = delete;

    QString filePath(const QString &name) const { return m_path + u'/' + name; }

    int create(const QString &name)
    {
        const QString path = filePath(name);
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            throw PlatformError::cannotSave(path, PlatformError::reasonForErrno(errno));
        m_descriptors.push_back(fd);
        return fd;
    }

private:
    QString m_path;
    std::vector<int> m_descriptors;
};

class SpawnSettings {
public:
    SpawnSettings(int out, int err)
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
        posix_spawnattr_init(&attributes);
        // The tool starts with default signal handling whatever this thread blocks, and in a
        // process group of its own so that stopping it also stops anything it started.
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &all);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(
            &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    }
    ~SpawnSettings()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSettings(const SpawnSettings &) = delete;
    SpawnSettings &operator=(const SpawnSettings &) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

// A null-terminated vector of C strings over owned bytes.
class CStringList {
public:
    explicit CStringList(const QList<QByteArray> &items) : m_items(items)
    {
        for (QByteArray &item : m_items)
            m_pointers.push_back(item.data());
        m_pointers.push_back(nullptr);
    }
    char *const *data() { return m_pointers.data(); }

private:
    QList<QByteArray> m_items;
    std::vector<char *> m_pointers;
};

// Whether the child has exited, without reaping it: its pid stays ours until we reap.
bool hasExited(pid_t pid)
{
    siginfo_t info{};
    while (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) < 0) {
        if (errno != EINTR)
            return true;
    }
    return info.si_pid == pid;
}

void waitForExit(pid_t pid)
{
    siginfo_t info{};
    while (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {}
}

int reap(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return status;
}

qint64 fileSize(int fd)
{
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? qint64(info.st_size) : 0;
}

} // namespace

Scanner::Scanner(QString resources, QString storage)
    : m_resources(std::move(resources)), m_storage(std::move(storage))
{}

void Scanner::cancel()
{
    // Signalled under the lock: the runner reaps only after clearing m_child under this same
    // lock, so the pid cannot have been reused by the time kill() runs.
    std::lock_guard guard(m_lock);
    m_stopped = true;
    if (m_child)
        ::kill(-*m_child, SIGTERM);
}

bool Scanner::isCancelled() const
{
    std::lock_guard guard(m_lock);
    return m_stopped;
}

void Scanner::checkCancellation() const
{
    if (isCancelled())
        throw ScanError::cancelled();
}

QByteArray Scanner::runTool(const QString &name, const QStringList &arguments)
{
    checkCancellation();

    const QString executable = m_resources + QStringLiteral("/Tools/") + name;
    OutputFolder folder;
    const int out = folder.create(QStringLiteral("stdout"));
    const int err = folder.create(QStringLiteral("stderr"));

    QList<QByteArray> argv{QFile::encodeName(executable)};
    for (const QString &argument : arguments)
        argv.append(argument.toUtf8());
    CStringList argumentList(argv);
    CStringList environment({QByteArrayLiteral("PATH=/usr/bin:/bin"),
                             QByteArrayLiteral("HOME=") + QFile::encodeName(QDir::homePath()),
                             QByteArrayLiteral("LANG=en_US.UTF-8")});
    SpawnSettings settings(out, err);

    pid_t pid = 0;
    const int spawnError =
        ::posix_spawn(&pid, argv.first().constData(), &settings.actions, &settings.attributes,
                      argumentList.data(), environment.data());
    if (spawnError != 0) {
        QString reason;
        if (spawnError == ENOENT && !QFileInfo::exists(executable))
            reason = QStringLiteral("it is not in the folder %1")
                         .arg(quoted(QFileInfo(executable).absolutePath()));
        else if (spawnError == ENOENT)
            reason = QStringLiteral("a program it needs is missing");
        else if (spawnError == EACCES)
            reason = QStringLiteral("it is not an executable program");
        else
            reason = PlatformError::reasonForErrno(spawnError);
        throw PlatformError(PlatformError::Kind::Launch,
                            QStringLiteral("The device tool %1 could not be started: %2.")
                                .arg(quoted(name), reason));
    }
    {
        std::lock_guard guard(m_lock);
        m_child = pid;
    }

    enum class Outcome { Exited, Stopped, TimedOut, Flooded };
    Outcome outcome = Outcome::Exited;
    const auto deadline = std::chrono::steady_clock::now() + m_toolTimeLimit;
    while (!hasExited(pid)) {
        if (isCancelled()) {
            outcome = Outcome::Stopped;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            outcome = Outcome::TimedOut;
            break;
        }
        if (fileSize(out) > m_toolOutputLimit || fileSize(err) > m_toolOutputLimit) {
            outcome = Outcome::Flooded;
            break;
        }
        std::this_thread::sleep_for(100ms);
    }
    if (outcome != Outcome::Exited) {
        ::kill(-pid, SIGTERM);
        std::this_thread::sleep_for(200ms);
    }
    // Whatever is left of the tool, and anything it started, goes now. The tool is not reaped
    // yet, so its process group id cannot belong to anyone else.
    ::kill(-pid, SIGKILL);
    waitForExit(pid);
    {
        std::lock_guard guard(m_lock);
        m_child.reset();
    }
    const int status = reap(pid);

    checkCancellation();
    if (outcome == Outcome::TimedOut)
        throw ScanError(timedOutMessage);
    if (outcome == Outcome::Flooded)
        throw ScanError(QStringLiteral("The device tool %1 printed far more than any device "
                                       "list could hold and was stopped. Previous inventory "
                                       "preserved.")
                            .arg(quoted(name)));

    QByteArray output = DataFile::read(folder.filePath(QStringLiteral("stdout")));
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return output;

    QString errorText;
    try {
        // Decoded leniently: one stray byte must not hide the tool's explanation.
        errorText =
            QString::fromUtf8(DataFile::read(folder.filePath(QStringLiteral("stderr")))).trimmed();
    } catch (const PlatformError &) {}
    throw ScanError(errorText.isEmpty() ? connectionFailedMessage : errorText);
}

Inventory Scanner::scan()
{
    DataFile::makeFolder(m_storage);

    report(QStringLiteral("Finding connected devices\u2026"));
    const QStringList devices =
        QString::fromUtf8(runTool(QStringLiteral("idevice_id"), {QStringLiteral("-l")}))
            .simplified()
            .split(u' ', Qt::SkipEmptyParts);
    if (devices.isEmpty())
        throw ScanError(QStringLiteral(
            "No USB device found. Connect your iPhone or iPad with a data cable, unlock it, and "
            "confirm Trust in Finder."));
    if (devices.size() > 1)
        throw ScanError(QStringLiteral("Multiple devices are connected. Disconnect all but the "
                                       "device you want to scan."));
    const QString device = devices.first();

    report(QStringLiteral("Reading installed apps. Keep your device unlocked\u2026"));
    std::optional<QString> deviceName;
    try {
        const QByteArray output =
            runTool(QStringLiteral("idevicename"), {QStringLiteral("-u"), device});
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString name = decoder(output);
        if (!decoder.hasError())
            deviceName = name.trimmed();
    } catch (const Failure &) {
        // A device without a readable name is still worth scanning.
    }
    checkCancellation();

    QStringList arguments{QStringLiteral("-u"), device, QStringLiteral("list"),
                          QStringLiteral("--all"), QStringLiteral("--xml")};
    for (const QString &attribute : appListAttributes)
        arguments << QStringLiteral("--attribute") << attribute;
    const QByteArray listing = runTool(QStringLiteral("ideviceinstaller"), arguments);
    const QList<QVariantMap> apps = parseAppList(listing);
    QStringList identifiers;
    for (const QVariantMap &app : apps) {
        if (const std::optional<QString> identifier =
                textValue(app, QStringLiteral("CFBundleIdentifier"));
            identifier && !identifier->isEmpty())
            identifiers.append(*identifier);
    }

    const QHash<QString, QString> categoryNames = categories(identifiers);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<Row> rows = makeRows(apps, device, categoryNames, now);
    addStoreColumns(rows, now);

    Inventory inventory;
    inventory.rows = std::move(rows);
    inventory.deviceName = deviceName;
    inventory.scanID = HistoryStore::newIdentity();
    inventory.scannedAt = now;
    inventory.deviceID = device;

    checkCancellation();
    HistoryStore(m_storage).archive(inventory);
    inventory.writeFile(m_storage + QStringLiteral("/inventory.json"));
    return inventory;
}

QList<QVariantMap> Scanner::parseAppList(QByteArray listing)
{
    // Some tool versions print a line of their own before the property list.
    if (const qsizetype start = listing.indexOf("<?xml"); start > 0)
        listing.remove(0, start);
    const QVariant root =
        PropertyList::parse(listing, QStringLiteral("The application list from the device"));
    const ScanError invalidList(QStringLiteral("The device returned an invalid application list."));
    if (root.typeId() != QMetaType::QVariantList)
        throw invalidList;
    QList<QVariantMap> apps;
    const QVariantList entries = root.toList();
    apps.reserve(entries.size());
    for (const QVariant &entry : entries) {
        if (entry.typeId() != QMetaType::QVariantMap)
            throw invalidList;
        apps.append(entry.toMap());
    }
    return apps;
}

QHash<QString, QString> Scanner::categories(const QStringList &identifiers)
{
    const QString cachePath = m_storage + QStringLiteral("/categories.json");
    CategoryEntry::Map cache;
    if (DataFile::exists(cachePath)) {
        try {
            cache = CategoryEntry::decodeMap(DataFile::read(cachePath)).value_or(cache);
        } catch (const PlatformError &) {
            // An unreadable cache is only a slower lookup.
        }
    }
    const double now = secondsSince1970(QDateTime::currentDateTimeUtc());

    // Unique, in code-point order (which UTF-8 byte order is).
    std::vector<std::pair<QByteArray, QString>> sorted;
    for (const QString &identifier : QSet<QString>(identifiers.begin(), identifiers.end()))
        sorted.emplace_back(identifier.toUtf8(), identifier);
    std::sort(sorted.begin(), sorted.end());

    QStringList needed;
    for (const auto &[bytes, identifier] : sorted) {
        const auto cached = cache.constFind(identifier);
        const bool fresh = cached != cache.cend() && now - cached->checked <= freshForSeconds &&
            cached->metadataRevision == CategoryEntry::currentRevision;
        if (!fresh)
            needed.append(identifier);
    }

    for (qsizetype start = 0; start < needed.size(); start += lookupBatchSize) {
        checkCancellation();
        const QStringList batch = needed.mid(start, lookupBatchSize);
        report(QStringLiteral("Looking up categories: %1 of %2\u2026")
                   .arg(start + batch.size())
                   .arg(needed.size()));

        QUrl url = m_lookupURL;
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("bundleId"), batch.join(u','));
        query.addQueryItem(QStringLiteral("country"), QStringLiteral("us"));
        query.addQueryItem(QStringLiteral("entity"), QStringLiteral("software"));
        query.addQueryItem(QStringLiteral("limit"), QStringLiteral("200"));
        url.setQuery(query);

        NetworkRequest request(url, lookupRequestTimeout);
        bool finished = false;
        for (int slice = 0; slice < lookupWaitSlices && !finished; ++slice) {
            finished = request.waitFor(m_lookupSlice);
            if (!finished && isCancelled()) {
                request.cancel();
                throw ScanError::cancelled();
            }
        }
        std::optional<CategoryEntry::Map> found;
        if (finished) {
            const NetworkRequest::Response &response = request.response();
            if (response.error.isEmpty() && response.status == 200 && response.body)
                found = lookupEntries(*response.body, batch, now);
        }
        if (!found) {
            request.cancel();
            report(lookupUnavailableMessage);
            break;
        }
        for (auto it = found->cbegin(); it != found->cend(); ++it)
            cache.insert(it.key(), it.value());
        DataFile::write(cachePath, CategoryEntry::encodeMap(cache));

        if (start + lookupBatchSize < needed.size())
            pauseBetweenBatches();
    }

    m_storeMetadata = cache;
    QHash<QString, QString> result;
    result.reserve(cache.size());
    for (auto it = cache.cbegin(); it != cache.cend(); ++it)
        result.insert(it.key(), it->category);
    return result;
}

std::optional<CategoryEntry::Map> Scanner::lookupEntries(const QByteArray &body,
                                                         const QStringList &batch, double now)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject() ||
        document.object().isEmpty())
        return std::nullopt;
    const QJsonValue results = document.object().value(QLatin1String("results"));
    if (!results.isArray())
        return std::nullopt;
    const QJsonArray array = results.toArray();
    for (const QJsonValue &result : array) {
        if (!result.isObject())
            return std::nullopt;
    }

    CategoryEntry::Map found;
    for (const QJsonValue &value : array) {
        const QJsonObject result = value.toObject();
        const std::optional<QString> identifier = jsonText(result, "bundleId");
        if (!identifier || !batch.contains(*identifier))
            continue;
        std::optional<QString> icon = jsonText(result, "artworkUrl512");
        if (!icon)
            icon = jsonText(result, "artworkUrl100");
        found.insert(*identifier,
                     {jsonText(result, "primaryGenreName").value_or(QString()), now,
                      jsonText(result, "version"), icon, CategoryEntry::currentRevision});
    }
    // Apps the store does not know are remembered too, so they are not asked for again until
    // tomorrow.
    for (const QString &identifier : batch) {
        if (!found.contains(identifier))
            found.insert(
                identifier,
                {QString(), now, std::nullopt, std::nullopt, CategoryEntry::currentRevision});
    }
    return found;
}

void Scanner::pauseBetweenBatches() const
{
    for (int slice = 0; slice < lookupPauseSlices; ++slice) {
        checkCancellation();
        std::this_thread::sleep_for(m_lookupSlice);
    }
}

QList<Row> Scanner::makeRows(const QList<QVariantMap> &apps, const QString &device,
                             const QHash<QString, QString> &categories, const QDateTime &now)
{
    const QString scanDate = QLocale::c().toString(now.toTimeZone(QTimeZone::utc()), u"MM/dd/yyyy");
    const QString identifierKey = QStringLiteral("CFBundleIdentifier");
    const QString displayNameKey = QStringLiteral("CFBundleDisplayName");
    const QString nameKey = QStringLiteral("CFBundleName");
    const QString shortVersionKey = QStringLiteral("CFBundleShortVersionString");
    const QString versionKey = QStringLiteral("CFBundleVersion");
    const QString typeKey = QStringLiteral("ApplicationType");
    const QString staticKey = QStringLiteral("StaticDiskUsage");
    const QString dynamicKey = QStringLiteral("DynamicDiskUsage");

    QList<Row> rows;
    rows.reserve(apps.size());
    for (const QVariantMap &app : apps) {
        const std::optional<QString> identifier = textValue(app, identifierKey);
        if (!identifier || identifier->isEmpty())
            throw ScanError(QStringLiteral("The device returned an app without an identifier. "
                                           "Previous inventory preserved."));
        const std::optional<double> appBytes = size(app.value(staticKey));
        const std::optional<double> dataBytes = size(app.value(dynamicKey));
        const std::optional<double> totalBytes =
            appBytes && dataBytes ? std::optional<double>(*appBytes + *dataBytes) : std::nullopt;
        Row row;
        row.reserve(14);
        row.append(
            Column::appName,
            textValue(app, displayNameKey).value_or(textValue(app, nameKey).value_or(QString())));
        row.append(Column::category, categories.value(*identifier));
        row.append(Column::bundleIdentifier, *identifier);
        row.append(Column::version,
                   textValue(app, shortVersionKey)
                       .value_or(textValue(app, versionKey).value_or(QString())));
        row.append(Column::appType, textValue(app, typeKey).value_or(QString()));
        row.append(Column::appMB, megabytes(appBytes));
        row.append(Column::dataMB, megabytes(dataBytes));
        row.append(Column::totalMB, megabytes(totalBytes));
        row.append(Column::scanDate, scanDate);
        row.append(Column::deviceIdentifier, device);
        rows.append(std::move(row));
    }

    QStringList names;
    names.reserve(rows.size());
    for (const Row &row : rows)
        names.append(row.value(Column::appName));
    QList<Row> sorted;
    sorted.reserve(rows.size());
    for (qsizetype index : Collation::stableOrder(names))
        sorted.append(std::move(rows[index]));
    return sorted;
}

void Scanner::addStoreColumns(QList<Row> &rows, const QDateTime &now) const
{
    for (Row &row : rows) {
        const auto entry = m_storeMetadata.constFind(row.value(Column::bundleIdentifier));
        const bool known = entry != m_storeMetadata.cend();
        row.insert(
            Column::updateAvailable,
            updateAvailability(row.value(Column::version), known ? entry->version : std::nullopt,
                               known ? std::optional<double>(entry->checked) : std::nullopt, now));
        row.insert(Column::storeVersion, known ? entry->version.value_or(QString()) : QString());
        row.insert(Column::storeChecked, known ? storeCheckedText(entry->checked) : QString());
        row.insert(Column::artworkURL, known ? entry->iconURL.value_or(QString()) : QString());
    }
}

std::optional<double> Scanner::size(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double: {
        const double number = value.toDouble();
        if (std::isfinite(number) && number >= 0)
            return number;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

QString Scanner::updateAvailability(const QString &installed, const std::optional<QString> &store,
                                    std::optional<double> checked, const QDateTime &now)
{
    const QString unknown = QStringLiteral("Unknown");
    if (!store || !checked)
        return unknown;
    const double age = secondsSince1970(now) - *checked;
    // A check from the future beyond clock skew, or older than a day, says nothing about now.
    if (!(age >= -300 && age <= freshForSeconds))
        return unknown;
    std::optional<QList<qint64>> mine = versionComponents(installed);
    std::optional<QList<qint64>> theirs = versionComponents(*store);
    if (!mine || !theirs)
        return unknown;
    const qsizetype length = std::max(mine->size(), theirs->size());
    mine->resize(length, 0);
    theirs->resize(length, 0);
    return std::lexicographical_compare(mine->begin(), mine->end(), theirs->begin(), theirs->end())
        ? QStringLiteral("Yes")
        : QStringLiteral("No");
}

std::optional<QList<qint64>> Scanner::versionComponents(QStringView version)
{
    QList<qint64> components;
    for (QStringView piece : version.split(u'.')) {
        if (piece.isEmpty())
            return std::nullopt;
        const QByteArray digits = piece.toLatin1();
        for (char c : digits) {
            if (c < '0' || c > '9')
                return std::nullopt;
        }
        // Latin-1 conversion turns anything outside it into '?', so only real digits get here.
        qint64 value = 0;
        const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (result.ec != std::errc() || result.ptr != digits.data() + digits.size())
            return std::nullopt;
        components.append(value);
    }
    return components;
}

QString Scanner::megabytes(std::optional<double> bytes)
{
    return bytes ? QString::asprintf("%.2f", *bytes / 1000000.0) : QString();
}

QString Scanner::storeCheckedText(double seconds)
{
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (!text.contains(u'.'))
        text += QStringLiteral(".0");
    return text;
}

Inventory Scanner::load() const
{
    const HistoryStore history(m_storage);
    const QString inventoryPath = m_storage + QStringLiteral("/inventory.json");
    if (QFileInfo::exists(inventoryPath))
        return history.migrateLatest(Inventory::readFile(inventoryPath));

    // No inventory yet: bring in the newest CSV export of an earlier release, if any.
    const QFileInfoList entries =
        QDir(Locations::legacyExports(m_storage))
            .entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDir::Name);
    std::optional<QFileInfo> newest;
    for (const QFileInfo &entry : entries) {
        if (entry.suffix() != u"csv")
            continue;
        const QDateTime modified = entry.lastModified();
        if (!newest ||
            (modified.isValid() &&
             (!newest->lastModified().isValid() || modified > newest->lastModified())))
            newest = entry;
    }
    if (!newest)
        return Inventory();

    const QString path = newest->filePath();
    const QByteArray bytes = DataFile::read(path);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError())
        throw PlatformError::notDecodable(path, QStringLiteral("it is not UTF-8 text"));
    Inventory imported;
    imported.rows = parseCSV(text);
    return history.migrateLatest(imported);
}

QList<Row> Scanner::parseCSV(QStringView source)
{
    const QString text = source.toString().remove(QChar(0xFEFF));
    QList<QStringList> records;
    QStringList record;
    QString cell;
    bool inQuotes = false;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c == u'"') {
            if (!inQuotes) {
                inQuotes = true;
            } else if (i + 1 < size && text[i + 1] == u'"') {
                cell += u'"';
                ++i;
            } else {
                inQuotes = false;
            }
        } else if (inQuotes) {
            cell += c;
        } else if (c == u',') {
            record.append(std::exchange(cell, QString()));
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n')
                ++i;
            record.append(std::exchange(cell, QString()));
            records.append(std::exchange(record, QStringList()));
        } else {
            cell += c;
        }
    }
    if (!cell.isEmpty() || !record.isEmpty()) {
        record.append(cell);
        records.append(record);
    }
    if (records.isEmpty())
        return {};

    const QStringList &header = records.first();
    QList<Row> rows;
    for (qsizetype r = 1; r < records.size(); ++r) {
        const QStringList &cells = records[r];
        if (cells.size() != header.size())
            continue; // a ragged record cannot be matched to its columns
        Row row;
        row.reserve(header.size());
        for (qsizetype i = 0; i < header.size(); ++i)
            row.insert(header[i], cells[i]);
        rows.append(row);
    }
    return rows;
}
