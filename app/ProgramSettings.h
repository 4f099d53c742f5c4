#pragma once

#include <QString>

// The program's own settings file, "$XDG_CONFIG_HOME/folianta/folianta.conf" (or under
// "$HOME/.config" when XDG_CONFIG_HOME is not set or empty), in INI format. Settings.ini, the
// filter set-up the user saves, is another file. A value missing or not of its kind reads as
// its default.
QString ProgramSettingsPath();

// The group [check]: the automatic checks of the page.
struct TCheckSettings {
    bool onStart = false;  // onStart: check once at start-up
    int everyMinutes = 0;  // everyMinutes: 0 = no periodic check, else 15..1440
    QString address;       // address: the page checked; empty: the address box's first item

    bool operator==(const TCheckSettings&) const = default;
};

TCheckSettings ReadCheckSettings();
// Writes the group; a file that cannot be written is left as it is.
void WriteCheckSettings(const TCheckSettings& settings);
