#pragma once

// Whether scans keep, and exports show, what identifies a person's phone (its IMEI, phone
// number, ICCID, Wi-Fi and Bluetooth addresses): off unless the user turns it on (the setting
// "recordIdentifiers", which the window and quillet-cli share), or --record-identifiers turns it
// on for one run.
class PersonalIdentifiers {
public:
    static bool recorded();
    // Remembered for later runs of either front end.
    static void save(bool recorded);
    static void recordForThisRun();

    PersonalIdentifiers() = delete;
};
