#include "OrvelAppResources.h"

#include "LauncherLog.h"

#include <QApplication>
#include <QFile>
#include <QTranslator>

namespace OrvelAppResources
{

void InstallTranslation(QApplication& app, QTranslator& translator, const QString& strLanguage)
{
    app.removeTranslator(&translator);
    if (strLanguage == QLatin1String("en_US"))
        return;
    const QString strPath = QStringLiteral(":/translations/QHalvaneLauncher_%1.qm").arg(strLanguage);
    if (QFile::exists(strPath) && translator.load(strPath))
        app.installTranslator(&translator);
}

bool ApplyStyleSheet(QApplication& app, LauncherLog& log)
{
    const QString strPath = QStringLiteral(":/style/style.qss");
    QFile file(strPath);
    if (!file.exists())
    {
        log.write(QStringLiteral("Style sheet not found: %1").arg(strPath));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
    {
        log.write(QStringLiteral("Failed to open style sheet: %1").arg(strPath));
        return false;
    }
    app.setStyleSheet(QString::fromUtf8(file.readAll()));
    return true;
}

} // namespace OrvelAppResources
