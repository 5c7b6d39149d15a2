// The launcher's command line: what it accepts, what it refuses, the
// client-products server it writes, and Qt's own arguments passing through
// the real program.
#include "OrvelLauncherCommandLine.h"
#include "RuntimeConfigWriter.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{

namespace CommandLine = OrvelLauncherCommandLine;

const QString kProgram = QStringLiteral("QHalvaneLauncher");
const QString kOption = QStringLiteral("--client-products-server");

// The remote source's URL and the local directory of the written configuration.
QPair<QString, QString> WrittenSources(RuntimeConfigWriter& writer, const QString& strWorkPath)
{
    if (!writer.WriteClientProductsConfig(strWorkPath))
        return {};
    QFile file(writer.ClientProductsConfigPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonObject remote = root.value(QStringLiteral("remote")).toObject();
    return {remote.value(QStringLiteral("0")).toObject().value(QStringLiteral("url")).toString(),
            root.value(QStringLiteral("local")).toObject().value(QStringLiteral("dir")).toString()};
}

TEST(LauncherCommandLine, AcceptsTheServerFromOptionOrEnvironment)
{
    CommandLine::Options options = CommandLine::Parse({kProgram}, QString());
    EXPECT_TRUE(options.bOk);
    EXPECT_FALSE(options.bHelp);
    EXPECT_TRUE(options.strClientProductsServer.isEmpty());

    options = CommandLine::Parse({kProgram, kOption, QStringLiteral("http://127.0.0.1:81/general_store/")},
                                 QString());
    EXPECT_TRUE(options.bOk);
    EXPECT_EQ(options.strClientProductsServer, QStringLiteral("http://127.0.0.1:81/general_store/"));

    options = CommandLine::Parse({kProgram, kOption + QStringLiteral("=https://cdn.test/store")},
                                 QStringLiteral("http://env.test/store"));
    EXPECT_TRUE(options.bOk);
    EXPECT_EQ(options.strClientProductsServer, QStringLiteral("https://cdn.test/store"));
    EXPECT_FALSE(options.bServerFromEnvironment);

    options = CommandLine::Parse({kProgram}, QStringLiteral(" http://env.test/store "));
    EXPECT_TRUE(options.bOk);
    EXPECT_EQ(options.strClientProductsServer, QStringLiteral("http://env.test/store"));
    EXPECT_TRUE(options.bServerFromEnvironment);

    for (const QString& strHelp :
         {QStringLiteral("--help"), QStringLiteral("--help-all"), QStringLiteral("-h")})
    {
        options = CommandLine::Parse({kProgram, strHelp}, QString());
        EXPECT_TRUE(options.bOk && options.bHelp) << strHelp.toStdString();
        EXPECT_TRUE(options.strHelpText.contains(kOption));
    }
}

TEST(LauncherCommandLine, RefusesWhatItDoesNotKnow)
{
    const QList<QStringList> vecBad = {
        {kProgram, QStringLiteral("--no-such-option")},
        {kProgram, kOption},
        {kProgram, kOption, QStringLiteral("  ")},
        {kProgram, QStringLiteral("stray")},
    };
    for (const QStringList& vecArgs : vecBad)
    {
        const CommandLine::Options options = CommandLine::Parse(vecArgs, QString());
        EXPECT_FALSE(options.bOk) << vecArgs.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(options.strError.isEmpty()) << vecArgs.join(QLatin1Char(' ')).toStdString();
    }
}

TEST(LauncherCommandLine, PointsTheClientProductsSourceAtTheServer)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strWork = dir.filePath(QStringLiteral("work"));
    RuntimeConfigWriter writer(dir.path());
    const QPair<QString, QString> builtIn = WrittenSources(writer, strWork);
    ASSERT_FALSE(builtIn.first.isEmpty());

    QString strError;
    const CommandLine::Options options = CommandLine::Parse(
        {kProgram, kOption, QStringLiteral("http://127.0.0.1:8123/general_store/")}, QString());
    ASSERT_TRUE(CommandLine::Apply(options, writer, &strError)) << strError.toStdString();
    const QPair<QString, QString> served = WrittenSources(writer, strWork);
    EXPECT_EQ(served.first, QStringLiteral("http://127.0.0.1:8123/general_store"));
    EXPECT_EQ(served.second, builtIn.second); // the local cache stays under the working path

    // A bad URL changes nothing and names where it came from.
    const QStringList vecBadUrls = {QStringLiteral("ftp://127.0.0.1/store"), QStringLiteral("not a url"),
                                    QStringLiteral("http:///store"), QStringLiteral("http://host/store?x=1"),
                                    QStringLiteral("http://host/store#top")};
    for (const QString& strUrl : vecBadUrls)
    {
        strError.clear();
        EXPECT_FALSE(
            CommandLine::Apply(CommandLine::Parse({kProgram, kOption, strUrl}, QString()), writer, &strError))
            << strUrl.toStdString();
        EXPECT_TRUE(strError.contains(kOption) && strError.contains(strUrl)) << strError.toStdString();
        strError.clear();
        EXPECT_FALSE(CommandLine::Apply(CommandLine::Parse({kProgram}, strUrl), writer, &strError));
        EXPECT_TRUE(strError.contains(QLatin1String(CommandLine::kClientProductsServerVariable)))
            << strError.toStdString();
    }
    EXPECT_EQ(WrittenSources(writer, strWork).first, served.first);
}

TEST(LauncherCommandLine, ProgramLeavesQtArgumentsToQt)
{
    // "-platform" is Qt's: were it seen as the launcher's, this would fail
    // (and show an error box) instead of printing the help.
    QProcess process;
    process.setProgram(qEnvironmentVariable("CORVANE_TEST_BIN_DIR", QStringLiteral(CORVANE_TEST_BIN_DIR)) +
                       QStringLiteral("/QHalvaneLauncher"));
    process.setArguments(
        {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--help")});
    process.start();
    ASSERT_TRUE(process.waitForFinished(30000)) << "launcher did not end";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardOutput().contains("--client-products-server"));
}

} // namespace
