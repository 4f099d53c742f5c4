#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QUrl>

// The program's own settings file, "$XDG_CONFIG_HOME/folianta/folianta.conf" (under
// "~/.config" when XDG_CONFIG_HOME is not set), in INI format: what the window keeps across
// runs and the reader's own choices. Settings.ini, the filter set-up the reader saves, is
// another file. Every reader below takes a value that is missing, damaged or of another type
// for its fallback, so a broken file never stops the program.
class TProgramSettings : public QSettings {
public:
    TProgramSettings();

    // The file's path.
    static QString Path();

    // A value written as a bool ("true" or "false").
    bool Flag(const QString& key, bool fallback) const;
    // A whole number in [min, max].
    int Number(const QString& key, int min, int max, int fallback) const;
    // A text; a list or any other type is not one.
    QString Text(const QString& key, const QString& fallback = {}) const;
    // A list of texts (a single text is a list of one).
    QStringList Texts(const QString& key) const;
    // Bytes written as a QByteArray; empty otherwise.
    QByteArray Bytes(const QString& key) const;

    // The catalogue site: "http://" and the host of "[site] host" when that holds a host name,
    // with a port or without, else the built-in host.
    QUrl Site() const;
};

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

// The group [rules]: the reader's title words and their switches.
struct TRulesSettings {
    bool excludeOn = false;  // excludeOn: "Исключить слова в названии"
    QStringList excluded;    // excluded: its entries, one a line in the editor
    bool wantedOn = false;   // wantedOn: "Только со словами в названии"
    QStringList wanted;      // wanted: its entries

    bool operator==(const TRulesSettings&) const = default;
};

TRulesSettings ReadRulesSettings();
// Writes the group; a file that cannot be written is left as it is.
void WriteRulesSettings(const TRulesSettings& settings);
