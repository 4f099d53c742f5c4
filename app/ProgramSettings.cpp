#include "app/ProgramSettings.h"

#include <QSettings>
#include <QStandardPaths>

#include "app/CheckSchedule.h"

namespace {

constexpr const char* kOnStart = "check/onStart";
constexpr const char* kEveryMinutes = "check/everyMinutes";
constexpr const char* kAddress = "check/address";

// A bool written by QSettings or by hand: "true" or "false"; anything else is none.
std::optional<bool> ReadBool(const QSettings& file, const char* key) {
    const QString text = file.value(key).toString().trimmed().toLower();
    if (text == QLatin1String("true")) {
        return true;
    }
    if (text == QLatin1String("false")) {
        return false;
    }
    return std::nullopt;
}

}  // namespace

QString ProgramSettingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/folianta/folianta.conf");
}

TCheckSettings ReadCheckSettings() {
    const QSettings file(ProgramSettingsPath(), QSettings::IniFormat);
    TCheckSettings settings;
    settings.onStart = ReadBool(file, kOnStart).value_or(settings.onStart);
    bool number = false;
    const int minutes = file.value(kEveryMinutes).toString().trimmed().toInt(&number);
    if (number && (minutes == 0 || (minutes >= CCheckSchedule::kMinMinutes &&
                                    minutes <= CCheckSchedule::kMaxMinutes))) {
        settings.everyMinutes = minutes;
    }
    if (const QVariant address = file.value(kAddress); address.typeId() == QMetaType::QString) {
        settings.address = address.toString();
    }
    return settings;
}

void WriteCheckSettings(const TCheckSettings& settings) {
    QSettings file(ProgramSettingsPath(), QSettings::IniFormat);
    file.setValue(kOnStart, settings.onStart);
    file.setValue(kEveryMinutes, settings.everyMinutes);
    file.setValue(kAddress, settings.address);
}
