// The translation and the style sheet the launcher installs at start and on a
// language change.
#pragma once

#include <QString>

class LauncherLog;
class QApplication;
class QTranslator;

namespace OrvelAppResources
{

// Removes translator from the application and installs it again with
// ":/translations/QHalvaneLauncher_<language>.qm", unless the language is
// "en_US" (the built-in texts) or the resource is missing or does not load.
void InstallTranslation(QApplication& app, QTranslator& translator, const QString& strLanguage);

// Sets ":/style/style.qss" as the application style sheet; a missing or
// unreadable sheet is logged and the launcher goes on unstyled.
bool ApplyStyleSheet(QApplication& app, LauncherLog& log);

} // namespace OrvelAppResources
