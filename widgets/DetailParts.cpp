#include "widgets/DetailParts.h"

#include "common/PlainText.h"
#include "widgets/SelectableText.h"

#include <QApplication>
#include <QLabel>

QFont DetailParts::fontOf(int pixels, QFont::Weight weight)
{
    QFont font = QApplication::font();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

QLabel *DetailParts::plainLabel(const QString &text)
{
    auto *label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

void DetailParts::makeSecondary(QWidget *widget)
{
    QPalette palette = widget->palette();
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text}) {
        QColor colour = palette.color(role);
        colour.setAlphaF(0.6f);
        palette.setColor(role, colour);
    }
    widget->setPalette(palette);
}

QLabel *DetailParts::caption(const QString &text)
{
    auto *label = plainLabel(text);
    label->setFont(fontOf(12));
    makeSecondary(label);
    return label;
}

QWidget *DetailParts::heading(const QString &text)
{
    auto *label = plainLabel(text);
    label->setFont(fontOf(13, QFont::DemiBold));
    return label;
}

SelectableText *DetailParts::value(const QString &text, const QString &captionText,
                                   const QFont &font)
{
    auto *value = new SelectableText(text);
    value->setFont(font);
    value->setAccessibleName(captionText);
    value->setToolTip(PlainText::toolTip(text));
    return value;
}
