#include "app/PersonalIdentifiersCommand.h"

#include "app/MainWindow.h"
#include "common/PersonalIdentifiers.h"

PersonalIdentifiersCommand::PersonalIdentifiersCommand(MainWindow *window, QObject *parent)
    : QObject(parent), m_window(window)
{}

WindowCommand PersonalIdentifiersCommand::command()
{
    return {.group = WindowCommand::Group::Settings,
            .title = QStringLiteral("Record Phone Identifiers"),
            .run = [this] { toggle(); },
            .checked = [] { return PersonalIdentifiers::recorded(); }};
}

void PersonalIdentifiersCommand::toggle()
{
    const bool recorded = !PersonalIdentifiers::recorded();
    PersonalIdentifiers::save(recorded);
    if (m_window)
        m_window->setStatus(
            recorded ? QStringLiteral("The next scans keep the phone's IMEI, phone number, ICCID, "
                                      "Wi-Fi and Bluetooth addresses, and exports show them.")
                     : QStringLiteral("Scans keep no phone identifiers, and exports leave out "
                                      "those already kept."));
    Q_EMIT changed();
}
