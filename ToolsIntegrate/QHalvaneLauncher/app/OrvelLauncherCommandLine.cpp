#include "OrvelLauncherCommandLine.h"

#include "RuntimeConfigWriter.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

namespace OrvelLauncherCommandLine
{

const char kClientProductsServerVariable[] = "ORVEL_CLIENT_PRODUCTS_SERVER";

namespace
{

// The texts of this file, in the OrvelLauncherCommandLine translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelLauncherCommandLine)
};

} // namespace

Options Parse(const QStringList& vecArgs, const QString& strEnvironmentServer)
{
    Options options;
    QCommandLineParser parser;
    parser.setApplicationDescription(Text::tr("Keeps the editor tool suite up to date."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption server(
        QStringLiteral("client-products-server"),
        Text::tr(
            "Base URL (http or https) of the client-products store that preload fetches from, instead of "
            "the built-in one. Also read from %1.")
            .arg(QLatin1String(kClientProductsServerVariable)),
        QStringLiteral("url"));
    parser.addOption(server);
    if (!parser.parse(vecArgs))
    {
        options.strError = parser.errorText();
        return options;
    }
    if (!parser.positionalArguments().isEmpty())
    {
        options.strError = Text::tr("Unexpected argument: %1").arg(parser.positionalArguments().constFirst());
        return options;
    }
    // addHelpOption also registers "--help-all"; parse() leaves both to us.
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")))
    {
        options.bHelp = true;
        options.strHelpText = parser.helpText();
        options.bOk = true;
        return options;
    }
    if (parser.isSet(server))
    {
        options.strClientProductsServer = parser.value(server).trimmed();
        // An empty value would silently fall back to the built-in server.
        if (options.strClientProductsServer.isEmpty())
        {
            options.strError = Text::tr("--client-products-server needs a URL");
            return options;
        }
    }
    else
    {
        options.strClientProductsServer = strEnvironmentServer.trimmed();
        options.bServerFromEnvironment = !options.strClientProductsServer.isEmpty();
    }
    options.bOk = true;
    return options;
}

bool Apply(const Options& options, RuntimeConfigWriter& writer, QString* pstrError)
{
    if (options.strClientProductsServer.isEmpty())
        return true;
    if (writer.SetClientProductsServer(options.strClientProductsServer))
        return true;
    if (pstrError == nullptr)
        return false;
    const QString strWhere = options.bServerFromEnvironment ? QLatin1String(kClientProductsServerVariable)
                                                            : QStringLiteral("--client-products-server");
    *pstrError = Text::tr("Invalid client-products server URL in %1 (an http or https URL without query or "
                          "fragment is needed): %2")
                     .arg(strWhere, options.strClientProductsServer);
    return false;
}

} // namespace OrvelLauncherCommandLine
