#pragma once

#include <QTimer>
#include <QWidget>

// A small spinning indicator, hidden while stopped.
class BusyIndicator : public QWidget {
    Q_OBJECT

public:
    explicit BusyIndicator(QWidget *parent = nullptr);

    void start();
    void stop();
    bool isRunning() const { return m_timer.isActive(); }

    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QTimer m_timer;
    int m_step = 0;
};
