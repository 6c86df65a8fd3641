#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>

// Opens an address in the user's browser or viewer, and learns whether that worked. On Linux
// the desktop's opener (xdg-open) is asked directly: the desktop services only report that it
// started, not that it found a browser, so a machine without one stayed silent.
class UrlOpener : public QObject {
    Q_OBJECT

public:
    // Calls `failed` on `window`'s thread when nothing could open `url`, at once or once the
    // opener has said so; the opener is never waited for.
    static void open(QWidget *window, const QUrl &url, std::function<void()> failed);

private:
    UrlOpener(QWidget *window, std::function<void()> failed);

    std::function<void()> m_failed;
};
