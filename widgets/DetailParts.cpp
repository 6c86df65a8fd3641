#include "widgets/DetailParts.h"

#include "common/PlainText.h"
#include "widgets/SelectableText.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

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

void DetailParts::layOut(QDialog *sheet, QLayout *header, QWidget *document,
                         const QString &accessibleName, const QString &text)
{
    auto *scroll = new QScrollArea;
    // It takes the focus so that the keys scroll it; a screen reader names it.
    scroll->setAccessibleName(accessibleName);
    scroll->setWidget(document);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    document->setAutoFillBackground(false);

    auto *copy = new QPushButton(QStringLiteral("Copy Details"));
    copy->setObjectName(QStringLiteral("copyDetails"));
    copy->setAutoDefault(false);
    auto *done = new QPushButton(QStringLiteral("Done"));
    done->setObjectName(QStringLiteral("done"));
    done->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->setContentsMargins(24, 0, 24, 0);
    buttons->addWidget(copy);
    buttons->addStretch(1);
    buttons->addWidget(done);

    auto *layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 28, 0, 20);
    layout->setSpacing(12);
    layout->addLayout(header);
    layout->addWidget(scroll, 1);
    layout->addLayout(buttons);

    QObject::connect(copy, &QPushButton::clicked, sheet,
                     [text] { QGuiApplication::clipboard()->setText(text); });
    QObject::connect(done, &QPushButton::clicked, sheet, &QDialog::accept);
}
