#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// Where to look for a newer release: "Updates.json" in the resource folder.
struct UpdateSettings {
    QString websiteURL;
    std::optional<QString> feedURL;

    // Nothing when the file is missing, unreadable or not a settings record.
    static std::optional<UpdateSettings> read(const QString &path);
};

// The newest release, as the feed describes it.
struct UpdateRelease {
    QString version;
    QString minimumMacOS;
    QString downloadURL;
    QString notes;
};

// One online check of the release feed.
class UpdateCheck {
public:
    struct Outcome {
        // Set when the check succeeded.
        std::optional<UpdateRelease> release;
        bool newer = false;
        // Why it failed, for the user.
        QString error;
    };

    // The publisher's page, for when no settings can be read.
    static const QString publisherWebsite;
    static constexpr qint64 bodyLimit = 99'999;

    // Fetches and validates the release record, then calls `done` on the main thread unless
    // `context` is gone.
    static void run(const QUrl &feed, const QString &websiteURL, const QString &installed,
                    QObject *context, std::function<void(Outcome)> done);

    // The record in `body`; throws Failure with the reason when it is not a valid release for
    // downloads from the host of `websiteURL`.
    static UpdateRelease parseRelease(const QByteArray &body, const QString &websiteURL);
    // Text order in which runs of digits compare as numbers: "1.9" < "1.10".
    static int compareVersions(const QString &a, const QString &b);

    UpdateCheck() = delete;
};
