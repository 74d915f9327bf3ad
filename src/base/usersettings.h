#pragma once

#include <QSettings>
#include <QString>

#include <memory>

namespace pexumo {

/// The settings file Pexumo keeps per user (never config.ini): ~/.config/Pexumo/Pexumo.conf on
/// Linux, or under $XDG_CONFIG_HOME. The window remembers the port, the interval and the alarm
/// limits there, and pexumo-logger starts with them. With \a path, the INI file there instead
/// (the logger's --settings).
std::unique_ptr<QSettings> openUserSettings(const QString& path = QString());

/// Writes what was set to the file. False when it could not be written; \a error then names it.
bool writeUserSettings(QSettings& file, QString* error);

} // namespace pexumo
