#pragma once

#include <QString>

// A count with its noun, "1 app" and "2 apps", so that no message says "1 apps".
class Plural {
public:
    static QString of(qsizetype count, const QString &one, const QString &many)
    {
        return QString::number(count) + u' ' + (count == 1 ? one : many);
    }

    // The most common count: "1 app", "2 apps".
    static QString apps(qsizetype count)
    {
        return of(count, QStringLiteral("app"), QStringLiteral("apps"));
    }

    Plural() = delete;
};
