#pragma once

#include <QFrame>

// A one-line label that shortens its text in the middle when it does not fit, so that both the
// start and the end of a long status message stay readable.
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
    QString m_text;
};
