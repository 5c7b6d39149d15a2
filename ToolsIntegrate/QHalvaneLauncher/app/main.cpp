// QHalvaneLauncher: one instance per session, then the launcher session
// over the settings, log and store configuration beside the executable.
#include "LauncherHousekeeping.h"
#include "LauncherLog.h"
#include "LauncherSettings.h"
#include "OrvelLauncherCommandLine.h"
#include "OrvelLauncherSession.h"
#include "OrvelWindowIconSyncFilter.h"
#include "RuntimeConfigWriter.h"
#include "platform/OrvelDesktopIntegration.h"
#include "platform/OrvelSingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace
{

QString ApplicationDirectory(int argc, char* argv[])
{
    const QString strArg = argc > 0 && argv[0] != nullptr ? QString::fromLocal8Bit(argv[0]) : QString();
    const QString strDir = strArg.isEmpty() ? QString() : QFileInfo(strArg).absolutePath();
    return strDir.isEmpty() ? QDir::currentPath() : strDir;
}

} // namespace

int main(int argc, char* argv[])
{
    // Platform plug-ins load from beside the executable first, as deployed.
    const QString strAppDir = ApplicationDirectory(argc, argv);
    const QString strPlugins = QDir(strAppDir).filePath(QStringLiteral("platforms"));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM_PLUGIN_PATH") && QFileInfo(strPlugins).isDir())
        qputenv("QT_QPA_PLATFORM_PLUGIN_PATH", QFile::encodeName(strPlugins));
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    OrvelPlatform::SetProcessAppUserModelId(QStringLiteral("Marrick.Vantor.QHalvaneLauncher"));

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QHalvaneLauncher"));
    QGuiApplication::setDesktopFileName(QStringLiteral("QHalvaneLauncher"));
    // The tray keeps the launcher alive with no window on show; it ends when
    // the main window closes for good.
    QApplication::setQuitOnLastWindowClosed(false);
    const QIcon appIcon(QStringLiteral(":/icons/app.ico"));
    if (!appIcon.isNull())
        QApplication::setWindowIcon(appIcon);
    OrvelWindowIconSyncFilter::Install(app);

    const OrvelLauncherCommandLine::Options options = OrvelLauncherCommandLine::Parse(
        QCoreApplication::arguments(),
        qEnvironmentVariable(OrvelLauncherCommandLine::kClientProductsServerVariable));
    if (options.bHelp)
    {
        std::fputs(options.strHelpText.toLocal8Bit().constData(), stdout);
        return 0;
    }
    QString strOptionError = options.strError;
    if (!options.bOk ||
        !OrvelLauncherCommandLine::Apply(options, RuntimeConfigWriter::Instance(), &strOptionError))
    {
        std::fprintf(stderr, "QHalvaneLauncher: %s\n", strOptionError.toLocal8Bit().constData());
        QMessageBox::critical(nullptr, QObject::tr("Error"), strOptionError);
        return 2;
    }
    // The updater starts the launcher again without arguments: the
    // environment it inherits keeps the server for that start too.
    if (!options.strClientProductsServer.isEmpty())
        qputenv(OrvelLauncherCommandLine::kClientProductsServerVariable,
                options.strClientProductsServer.toUtf8());

    OrvelSingleInstance instance(QStringLiteral("QHalvaneLauncher_SingleInstance_Key"));
    const OrvelSingleInstance::Outcome eInstance = instance.TryAcquire();
    if (eInstance == OrvelSingleInstance::HeldElsewhere)
    {
        QMessageBox::critical(nullptr, QObject::tr("Error"),
                              QObject::tr("Another instance of QHalvaneLauncher is already running."));
        return 1;
    }

    LauncherSettings& settings = LauncherSettings::instance();
    LauncherLog& log = LauncherLog::instance();
    log.initialise(QStringLiteral("launcher"), LauncherLog::kDefaultRetentionDays);
    if (eInstance == OrvelSingleInstance::Unavailable)
        log.write(
            QStringLiteral("Single-instance key unavailable, starting anyway: %1").arg(instance.ErrorText()));
    LauncherHousekeeping::StartOnce(settings.appDirectory(), log);
    if (!options.strClientProductsServer.isEmpty())
        log.write(QStringLiteral("Client-products server: %1").arg(options.strClientProductsServer));

    int nExitCode = 0;
    bool bStartupRunning = false;
    {
        OrvelLauncherSession session(app, settings, log, RuntimeConfigWriter::Instance());
        // Queued: a request made before the event loop runs must still end it.
        QObject::connect(
            &session, &OrvelLauncherSession::QuitRequested, &app,
            [&nExitCode](int nCode)
            {
                nExitCode = nCode;
                QCoreApplication::exit(nCode);
            },
            Qt::QueuedConnection);
        session.Start();
        const int nLoop = app.exec();
        if (nExitCode == 0)
            nExitCode = nLoop;
        session.TearDown();
        bStartupRunning = session.IsStartupThreadRunning();
    }
    instance.Release();
    // A start-up check still waiting on the server uses the settings and the
    // log, which static destruction would pull from under it: leave at once.
    if (bStartupRunning)
    {
        log.write(QStringLiteral("Start-up check still running at exit; leaving it to the system"));
        std::_Exit(nExitCode);
    }
    return nExitCode;
}
