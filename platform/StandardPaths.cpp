#include "platform/StandardPaths.h"

#include <QDir>
#include <QFile>

namespace StandardPaths {
namespace {

QString xdgFolder(const char* variable, const char* fallbackUnderHome)
{
    const QString value = QString::fromLocal8Bit(qgetenv(variable));
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return value;
    return QDir::homePath() + "/" + QLatin1String(fallbackUnderHome);
}

} // namespace

QString applicationSupportFolder() { return xdgFolder("XDG_DATA_HOME", ".local/share") + "/Clipdeck"; }

QString preferencesFolder() { return xdgFolder("XDG_CONFIG_HOME", ".config") + "/Clipdeck"; }

QString logsFolder() { return xdgFolder("XDG_STATE_HOME", ".local/state") + "/Clipdeck/Logs"; }

bool movePathToTrash(const QString& path) { return QFile::moveToTrash(path); }

} // namespace StandardPaths
