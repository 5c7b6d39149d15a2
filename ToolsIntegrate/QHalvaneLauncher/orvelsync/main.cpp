// orvelsync: the launcher's store work without a window, for publishers, CI and
// scripted installs. Same core, workers, records and log as the launcher.
#include "OrvelSyncOptions.h"
#include "OrvelSyncSession.h"
#include "platform/OrvelInterrupt.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvelsync"));

    OrvelSyncOptions options;
    QString strError;
    switch (ParseOrvelSyncOptions(QCoreApplication::arguments(), &options, &strError))
    {
    case OrvelSyncParse::Help:
        std::fputs(OrvelSyncHelpText().toLocal8Bit().constData(), stdout);
        return kExitSuccess;
    case OrvelSyncParse::Error:
        std::fprintf(stderr, "orvelsync: %s\nTry 'orvelsync --help'.\n", strError.toLocal8Bit().constData());
        return kExitUsage;
    case OrvelSyncParse::Run:
        break;
    }
    OrvelPlatform::InstallInterruptHandler();
    OrvelSyncSession session(options);
    return session.Run();
}
