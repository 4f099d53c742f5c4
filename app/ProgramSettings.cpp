#include "app/ProgramSettings.h"

#include <QStandardPaths>

#include "app/CheckSchedule.h"

namespace {

const QString kOnStart = QStringLiteral("check/onStart");
const QString kEveryMinutes = QStringLiteral("check/everyMinutes");
const QString kAddress = QStringLiteral("check/address");
const QString kExcludeOn = QStringLiteral("rules/excludeOn");
const QString kExcluded = QStringLiteral("rules/excluded");
const QString kWantedOn = QStringLiteral("rules/wantedOn");
const QString kWanted = QStringLiteral("rules/wanted");

}  // namespace

TProgramSettings::TProgramSettings() : QSettings(Path(), QSettings::IniFormat) {}

QString TProgramSettings::Path() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/folianta/folianta.conf");
}

bool TProgramSettings::Flag(const QString& key, bool fallback) const {
    const QVariant stored = value(key);
    // Read back from the file a bool is the text QSettings wrote; set in this run it is a bool.
    if (stored.typeId() == QMetaType::Bool) {
        return stored.toBool();
    }
    if (stored.typeId() == QMetaType::QString) {
        const QString text = stored.toString();
        if (text == QLatin1String("true") || text == QLatin1String("false")) {
            return text == QLatin1String("true");
        }
    }
    return fallback;
}

int TProgramSettings::Number(const QString& key, int min, int max, int fallback) const {
    const QVariant stored = value(key);
    if (stored.typeId() != QMetaType::Int && stored.typeId() != QMetaType::QString) {
        return fallback;
    }
    bool ok = false;
    const int number = stored.toInt(&ok);
    return ok && number >= min && number <= max ? number : fallback;
}

QString TProgramSettings::Text(const QString& key, const QString& fallback) const {
    const QVariant stored = value(key);
    return stored.typeId() == QMetaType::QString ? stored.toString() : fallback;
}

QStringList TProgramSettings::Texts(const QString& key) const {
    const QVariant stored = value(key);
    if (stored.typeId() == QMetaType::QString) {
        return {stored.toString()};
    }
    return stored.typeId() == QMetaType::QStringList ? stored.toStringList() : QStringList();
}

QByteArray TProgramSettings::Bytes(const QString& key) const {
    const QVariant stored = value(key);
    return stored.typeId() == QMetaType::QByteArray ? stored.toByteArray() : QByteArray();
}

QUrl TProgramSettings::Site() const {
    const QUrl builtIn(QStringLiteral("http://" FOLIANTA_SITE_HOST));
    const QString host = Text(QStringLiteral("site/host"));
    if (host.isEmpty()) {
        return builtIn;
    }
    // Nothing but a host and a port: no user, path, query or fragment.
    const QUrl site(QStringLiteral("http://") + host, QUrl::StrictMode);
    const bool onlyHost = site.isValid() && !site.host().isEmpty() && site.userInfo().isEmpty() &&
                          site.path().isEmpty() && !site.hasQuery() && !site.hasFragment();
    return onlyHost ? site : builtIn;
}

TCheckSettings ReadCheckSettings() {
    const TProgramSettings file;
    TCheckSettings settings;
    settings.onStart = file.Flag(kOnStart, settings.onStart);
    const int minutes = file.Number(kEveryMinutes, 0, CCheckSchedule::kMaxMinutes, 0);
    settings.everyMinutes = minutes >= CCheckSchedule::kMinMinutes ? minutes : 0;
    settings.address = file.Text(kAddress);
    return settings;
}

void WriteCheckSettings(const TCheckSettings& settings) {
    TProgramSettings file;
    file.setValue(kOnStart, settings.onStart);
    file.setValue(kEveryMinutes, settings.everyMinutes);
    file.setValue(kAddress, settings.address);
}

TRulesSettings ReadRulesSettings() {
    const TProgramSettings file;
    return {file.Flag(kExcludeOn, false), file.Texts(kExcluded), file.Flag(kWantedOn, false),
            file.Texts(kWanted)};
}

void WriteRulesSettings(const TRulesSettings& settings) {
    TProgramSettings file;
    file.setValue(kExcludeOn, settings.excludeOn);
    file.setValue(kExcluded, settings.excluded);
    file.setValue(kWantedOn, settings.wantedOn);
    file.setValue(kWanted, settings.wanted);
}
