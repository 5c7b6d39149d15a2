// OrvelUpdater: replaces the launcher's files from an update package while the
// launcher is not running, then starts the launcher again.
#include "LauncherLog.h"
#include "LauncherSettings.h"
#include "OrvelUpdaterFlow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTranslator>

#include <cstdio>

namespace
{
// Qt's platform plug-ins are deployed next to the program.
void PointPlatformPluginsAtProgramDir(int argc, char* argv[])
{
    QString strDir;
    if (argc > 0 && argv[0] != nullptr && argv[0][0] != '\0')
        strDir = QFileInfo(QFile::decodeName(argv[0])).absolutePath();
    if (strDir.isEmpty())
        strDir = QDir::currentPath();
    qputenv("QT_QPA_PLATFORM_PLUGIN_PATH", QFile::encodeName(strDir));
}

// Runs that only print (help, version, a usage error) show no window, so they
// must not need a display either.
bool WillShowWindow(int argc, char* argv[])
{
    QStringList vecArgs;
    for (int i = 0; i < argc; ++i)
        vecArgs.append(QString::fromLocal8Bit(argv[i]));
    QCommandLineParser probe;
    const QCommandLineOption help(
        QStringList{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")});
    const QCommandLineOption helpAll(QStringLiteral("help-all"));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption package(QStringLiteral("package"), QString(), QStringLiteral("path"));
    const QCommandLineOption target(QStringLiteral("target"), QString(), QStringLiteral("dir"));
    const QCommandLineOption pid(QStringLiteral("pid"), QString(), QStringLiteral("pid"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("ms"));
    probe.addOptions({help, helpAll, version, package, target, pid, timeout});
    if (!probe.parse(vecArgs))
        return false;
    return !probe.isSet(help) && !probe.isSet(helpAll) && !probe.isSet(version) && probe.isSet(package) &&
           probe.isSet(target);
}

void InstallTranslation(QApplication& app, QTranslator& translator)
{
    const QString strLanguage = LauncherSettings::instance().language();
    if (strLanguage == QLatin1String("en_US"))
        return;
    const QString strResource = QStringLiteral(":/translations/QHalvaneLauncher_%1.qm").arg(strLanguage);
    if (QFile::exists(strResource) && translator.load(strResource))
        app.installTranslator(&translator);
}
} // namespace

int main(int argc, char* argv[])
{
    PointPlatformPluginsAtProgramDir(argc, argv);
    if (!WillShowWindow(argc, argv) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OrvelUpdater"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0"));

    LauncherLog::instance().initialise(QStringLiteral("updater"), 14);

    QTranslator translator;
    InstallTranslation(app, translator);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("main", "OrvelUpdater - Standalone Updater"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption packageOption(QStringLiteral("package"),
                                           QCoreApplication::translate("main", "Update package file path"),
                                           QStringLiteral("path"));
    const QCommandLineOption targetOption(QStringLiteral("target"),
                                          QCoreApplication::translate("main", "Target directory"),
                                          QStringLiteral("dir"));
    const QCommandLineOption pidOption(
        QStringLiteral("pid"), QCoreApplication::translate("main", "Main process ID"), QStringLiteral("pid"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QCoreApplication::translate("main", "Wait timeout (ms)"),
                                           QStringLiteral("ms"), QStringLiteral("30000"));
    parser.addOptions({packageOption, targetOption, pidOption, timeoutOption});
    parser.process(app);

    if (!parser.isSet(packageOption) || !parser.isSet(targetOption))
    {
        std::fputs("Error: --package and --target arguments are required\n", stderr);
        return 1;
    }

    OrvelUpdaterOptions options;
    options.strPackagePath = parser.value(packageOption);
    options.strTargetDir = parser.value(targetOption);
    options.bHasPid = parser.isSet(pidOption);
    options.uPid = parser.value(pidOption).toUInt();
    options.nTimeoutMs = parser.value(timeoutOption).toInt();
    return RunOrvelUpdater(options);
}
