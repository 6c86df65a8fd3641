#include "app/StoreCountryCommand.h"

#include "app/MainWindow.h"
#include "app/StoreCountrySheet.h"
#include "common/Failure.h"
#include "common/StoreCountry.h"
#include "scanning/DemoDevice.h"
#include "widgets/Sheet.h"

StoreCountryCommand::StoreCountryCommand(MainWindow *window, bool demo, QObject *parent)
    : QObject(parent), m_window(window), m_demo(demo)
{}

WindowCommand StoreCountryCommand::command()
{
    return {.group = WindowCommand::Group::Settings,
            .title = QStringLiteral("App Store Country\u2026"),
            .run = [this] { run(); },
            .role = QAction::ApplicationSpecificRole};
}

void StoreCountryCommand::run()
{
    if (!m_window || Sheet::isShowing(m_window))
        return;
    auto *sheet = new StoreCountrySheet(StoreCountry::current(), m_window);
    connect(sheet, &QDialog::accepted, this, [this, sheet] { choose(sheet->country()); });
    sheet->open();
}

void StoreCountryCommand::choose(const QString &country)
{
    if (country.isEmpty() || country == StoreCountry::current())
        return;
    StoreCountry::save(country);
    // The demo's store answers are made here, never asked for: made again as that store's.
    if (m_demo) {
        try {
            DemoDevice::prepare();
        } catch (const Failure &error) {
            Sheet::alert(m_window, QMessageBox::Warning, error.description())->open();
        }
    }
    m_window->setStatus(
        QStringLiteral("The next scan asks %1.").arg(StoreCountry::storeName(country)));
    Q_EMIT chosen();
}
