// The launcher's own command-line options. QApplication has already taken
// Qt's arguments (-platform, -style, ...) out of what this sees.
#pragma once

#include <QString>
#include <QStringList>

class RuntimeConfigWriter;

namespace OrvelLauncherCommandLine
{

// Carries the client-products server to a launcher started again by the
// updater, which starts it without arguments but with this environment.
extern const char kClientProductsServerVariable[];

struct Options
{
    bool bOk = false; // false: strError says why (exit code 2)
    bool bHelp = false;
    QString strHelpText;
    QString strClientProductsServer; // empty: the template's server
    bool bServerFromEnvironment = false;
    QString strError;
};

// vecArgs as QCoreApplication::arguments() gives them (program first);
// strEnvironmentServer is the variable's value, used when the option is absent.
Options Parse(const QStringList& vecArgs, const QString& strEnvironmentServer);

// Points the writer's client-products configuration at the chosen server.
// False with *pstrError set when the URL is not a usable http(s) base URL.
bool Apply(const Options& options, RuntimeConfigWriter& writer, QString* pstrError);

} // namespace OrvelLauncherCommandLine
