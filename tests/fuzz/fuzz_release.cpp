// The release feed's record of the newest Quillet.
#include "FuzzCheck.h"
#include "common/Failure.h"
#include "features/UpdateCheck.h"

#include <QUrl>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString website = QStringLiteral("https://marrowby.example/quillet");
    UpdateRelease release;
    try {
        release = UpdateCheck::parseRelease(fuzzBytes(data, size), website);
    } catch (const Failure &error) {
        FUZZ_CHECK(!error.description().isEmpty());
        return 0;
    }
    // A release the user may be sent to downloads over HTTPS from the publisher's host.
    const QUrl download(release.downloadURL);
    FUZZ_CHECK(download.isValid() && download.scheme() == QLatin1String("https"));
    FUZZ_CHECK(download.host() == QUrl(website).host());
    FUZZ_CHECK(!release.version.isEmpty());
    (void)UpdateCheck::compareVersions(QStringLiteral(QUILLET_VERSION), release.version);
    return 0;
}
