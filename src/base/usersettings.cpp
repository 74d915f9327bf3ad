#include "base/usersettings.h"

namespace pexumo {

std::unique_ptr<QSettings> openUserSettings(const QString& path)
{
    if (path.isEmpty())
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           QStringLiteral("Pexumo"), QStringLiteral("Pexumo"));
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

bool writeUserSettings(QSettings& file, QString* error)
{
    file.sync();
    if (file.status() == QSettings::NoError)
        return true;
    if (error)
        *error = file.fileName();
    return false;
}

} // namespace pexumo
