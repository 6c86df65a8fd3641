#pragma once

#include <QWidget>

// A bar of the device's storage: the apps, the rest of what is used, and what is free, each
// its share of the capacity. A screen reader reads the same as text.
class StorageBar : public QWidget {
    Q_OBJECT

public:
    // Bytes; `apps` may be unknown (negative), and then the used part is one.
    StorageBar(qint64 capacity, qint64 used, qint64 apps, const QString &description,
               QWidget *parent = nullptr);

    QSize sizeHint() const override { return {360, 14}; }
    QSize minimumSizeHint() const override { return {120, 14}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qint64 m_capacity = 0;
    qint64 m_used = 0;
    qint64 m_apps = -1;
};
