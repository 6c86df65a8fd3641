#pragma once

#include <QTextEdit>

// A value in the details that the user can select and copy: plain text, shown as written, that
// wraps at word boundaries where it can and anywhere where it must (a long bundle or device
// identifier), with nothing added to the text for it. It looks like a label.
class SelectableText : public QTextEdit {
    Q_OBJECT

public:
    explicit SelectableText(const QString &text, QWidget *parent = nullptr);

    QString text() const { return toPlainText(); }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent *event) override;

private:
    mutable int m_measuredWidth = -1;
    mutable int m_measuredHeight = 0;
};
