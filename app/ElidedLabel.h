#pragma once

#include <QFrame>

// A label of one or two lines (a message and its advice) that shortens each line in the middle
// when it does not fit, so that both the start and the end of a long status message stay
// readable. Further lines join the second.
class ElidedLabel : public QFrame {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // The lines shown: at most two.
    QStringList lines() const;

    QString m_text;
};
