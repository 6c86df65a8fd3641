#include "app/StoreCountrySheet.h"

#include "common/StoreCountry.h"
#include "widgets/Sheet.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

StoreCountrySheet::StoreCountrySheet(const QString &current, QWidget *window) : QDialog(window)
{
    QLabel *message = Sheet::prepare(this, QStringLiteral("storeCountrySheet"),
                                     QStringLiteral("App Store Country"));
    auto *informative = new QLabel(QStringLiteral(
        "Categories, store versions and icons come from this country's App Store. An app sold "
        "only in your country gets them only from its store. The next scan asks it again."));
    informative->setWordWrap(true);
    informative->setFixedWidth(420);

    m_countries = new QComboBox;
    m_countries->setObjectName(QStringLiteral("storeCountry"));
    m_countries->setAccessibleName(QStringLiteral("App Store country"));
    for (const auto &[code, name] : StoreCountry::countries()) {
        m_countries->addItem(QStringLiteral("%1 (%2)").arg(name, code.toUpper()), code);
        if (code == current)
            m_countries->setCurrentIndex(m_countries->count() - 1);
    }

    QDialogButtonBox *buttons = Sheet::acceptOrCancel(this, QStringLiteral("Choose"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(10);
    layout->addWidget(message);
    layout->addWidget(informative);
    layout->addWidget(m_countries);
    layout->addSpacing(6);
    layout->addWidget(buttons);
}

QString StoreCountrySheet::country() const
{
    return m_countries->currentData().toString();
}
