#include "widgets/SelectableText.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QTextDocument>

#include <cmath>
#include <memory>

SelectableText::SelectableText(const QString &text, QWidget *parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setAcceptRichText(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Return and Escape belong to the window's buttons, Tab to the next control.
    setTabChangesFocus(true);
    setFocusPolicy(Qt::ClickFocus);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document()->setDocumentMargin(0);
    viewport()->setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("QTextEdit { background: transparent; }"));
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setPlainText(text);
}

int SelectableText::heightForWidth(int width) const
{
    if (width != m_measuredWidth) {
        // Measured on a copy, so that the text on screen is not laid out again for every guess.
        const std::unique_ptr<QTextDocument> copy(document()->clone());
        copy->setDefaultFont(font());
        copy->setTextWidth(std::max(width, 1));
        m_measuredWidth = width;
        m_measuredHeight = int(std::ceil(copy->size().height()));
    }
    return m_measuredHeight;
}

QSize SelectableText::sizeHint() const
{
    const int width = std::max(QTextEdit::sizeHint().width(), 1);
    return {width, heightForWidth(width)};
}

QSize SelectableText::minimumSizeHint() const
{
    return {0, fontMetrics().height()};
}

void SelectableText::changeEvent(QEvent *event)
{
    QTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_measuredWidth = -1;
        updateGeometry();
    }
}
