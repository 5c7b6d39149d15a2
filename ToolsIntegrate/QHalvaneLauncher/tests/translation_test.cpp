// The zh_CN translation against the sources: lupdate reads them into a copy
// of the file, and every text it finds must carry a finished translation
// that keeps the placeholders and line breaks of its source.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace
{

const QString kLauncherDir = QStringLiteral(CORVANE_TEST_SOURCE_DIR "/ToolsIntegrate/QHalvaneLauncher");
const QString kTsName = QStringLiteral("QHalvaneLauncher_zh_CN.ts");

struct TsEntry
{
    QString strContext;
    QString strSource;
    QString strTranslation;
    QString strType; // "", "unfinished", "vanished" or "obsolete"
};

QVector<TsEntry> ReadTs(const QString& strPath, QString* pstrError)
{
    QVector<TsEntry> vecEntries;
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
    {
        *pstrError = file.errorString();
        return vecEntries;
    }
    QXmlStreamReader xml(&file);
    QString strContext;
    TsEntry entry;
    while (!xml.atEnd())
    {
        xml.readNext();
        if (xml.isStartElement())
        {
            if (xml.name() == QLatin1String("name"))
                strContext = xml.readElementText();
            else if (xml.name() == QLatin1String("message"))
                entry = TsEntry{strContext, QString(), QString(), QString()};
            else if (xml.name() == QLatin1String("source"))
                entry.strSource = xml.readElementText();
            else if (xml.name() == QLatin1String("translation"))
            {
                entry.strType = xml.attributes().value(QLatin1String("type")).toString();
                entry.strTranslation = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            }
        }
        else if (xml.isEndElement() && xml.name() == QLatin1String("message"))
            vecEntries.append(entry);
    }
    if (xml.hasError())
        *pstrError = xml.errorString();
    return vecEntries;
}

QStringList Placeholders(const QString& strText)
{
    static const QRegularExpression s_placeholder(QStringLiteral("%\\d"));
    QStringList vecFound;
    auto it = s_placeholder.globalMatch(strText);
    while (it.hasNext())
        vecFound.append(it.next().captured());
    vecFound.sort();
    return vecFound;
}

QString Describe(const TsEntry& entry)
{
    return QStringLiteral("  %1: \"%2\"\n").arg(entry.strContext, entry.strSource);
}

} // namespace

TEST(OrvelTranslation, EverySourceTextHasAFinishedZhCnTranslation)
{
    QTemporaryDir tempDir;
    ASSERT_TRUE(tempDir.isValid());
    const QString strCopy = tempDir.filePath(kTsName);
    ASSERT_TRUE(QFile::copy(kLauncherDir + QStringLiteral("/resources/") + kTsName, strCopy));
    QFile::setPermissions(strCopy, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    // The same folders and options the file is kept up to date with.
    QProcess lupdate;
    lupdate.setWorkingDirectory(kLauncherDir);
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(ORVEL_LUPDATE),
                  {QStringLiteral("-locations"), QStringLiteral("none"), QStringLiteral("app"),
                   QStringLiteral("core"), QStringLiteral("gui"), QStringLiteral("shared"),
                   QStringLiteral("updater"), QStringLiteral("-ts"), strCopy});
    ASSERT_TRUE(lupdate.waitForFinished(120000)) << lupdate.errorString().toStdString();
    const QString strOutput = QString::fromLocal8Bit(lupdate.readAll());
    ASSERT_EQ(lupdate.exitStatus(), QProcess::NormalExit) << strOutput.toStdString();
    ASSERT_EQ(lupdate.exitCode(), 0) << strOutput.toStdString();

    QString strError;
    const QVector<TsEntry> vecEntries = ReadTs(strCopy, &strError);
    ASSERT_TRUE(strError.isEmpty()) << strError.toStdString();
    // Far fewer would mean lupdate lost sight of the code (a helper it cannot read).
    EXPECT_GT(vecEntries.size(), 500) << strOutput.toStdString();

    QString strMissing;
    QString strUnused;
    QString strBroken;
    for (const TsEntry& entry : vecEntries)
    {
        if (entry.strType == QLatin1String("vanished") || entry.strType == QLatin1String("obsolete"))
            strUnused += Describe(entry);
        else if (entry.strType == QLatin1String("unfinished") || entry.strTranslation.isEmpty())
            strMissing += Describe(entry);
        else if (Placeholders(entry.strSource) != Placeholders(entry.strTranslation) ||
                 entry.strSource.count(QLatin1Char('\n')) != entry.strTranslation.count(QLatin1Char('\n')))
            strBroken += Describe(entry) + QStringLiteral("    -> \"%1\"\n").arg(entry.strTranslation);
    }
    EXPECT_TRUE(strMissing.isEmpty())
        << "Source texts without a finished zh_CN translation (run lupdate, then "
           "translate them in resources/"
        << kTsName.toStdString() << "):\n"
        << strMissing.toStdString();
    EXPECT_TRUE(strUnused.isEmpty()) << "zh_CN entries no code uses any more (remove them):\n"
                                     << strUnused.toStdString();
    EXPECT_TRUE(strBroken.isEmpty()) << "zh_CN translations whose placeholders or line breaks differ from "
                                        "the source:\n"
                                     << strBroken.toStdString();
}
