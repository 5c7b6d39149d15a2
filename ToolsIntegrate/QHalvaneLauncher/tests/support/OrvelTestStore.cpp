#include "OrvelTestStore.h"

#include "OrvelTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace OrvelTest
{

QString BinDir()
{
    const QByteArray env = qgetenv("CORVANE_TEST_BIN_DIR");
#ifdef CORVANE_TEST_BIN_DIR
    return env.isEmpty() ? QStringLiteral(CORVANE_TEST_BIN_DIR) : QString::fromLocal8Bit(env);
#else
    return QString::fromLocal8Bit(env);
#endif
}

bool PackVersion(const QString& strTree, const QString& strStore, quint32 uVersion)
{
    QProcess pack;
    pack.setProcessChannelMode(QProcess::MergedChannels);
    pack.start(BinDir() + QStringLiteral("/corvane"),
               {QStringLiteral("pack"), QStringLiteral("--root"), strTree, QStringLiteral("--store"),
                strStore, QStringLiteral("--version"), QString::number(uVersion), QStringLiteral("--level"),
                QStringLiteral("1"), QStringLiteral("--threads"), QStringLiteral("2"),
                QStringLiteral("--package-size"), QStringLiteral("65536"), QStringLiteral("--release-text"),
                QStringLiteral("release %1").arg(uVersion)});
    const bool bOk =
        pack.waitForFinished(120000) && pack.exitStatus() == QProcess::NormalExit && pack.exitCode() == 0;
    EXPECT_TRUE(bOk) << "corvane pack v" << uVersion << ": " << pack.readAll().toStdString();
    return bOk;
}

bool PublishVersions(const std::vector<QMap<QString, QByteArray>>& vecTrees, const QString& strStore)
{
    const QString strTree = QFileInfo(strStore).absolutePath() + QStringLiteral("/tree");
    for (size_t i = 0; i < vecTrees.size(); ++i)
    {
        WriteTree(strTree, vecTrees[i]);
        if (!PackVersion(strTree, strStore, static_cast<quint32>(i + 1)))
            return false;
    }
    return true;
}

void WriteReaderConfig(const QString& strConfigPath, const QString& strUrl, const QString& strCacheDir)
{
    const QString strJson = QStringLiteral(R"({"global": {"local": 1, "remote": 1, "threadcount": 16},
 "local": {"desc": "test", "dir": "%2"},
 "remote": {"count": 1, "0": {"url": "%1", "timeout": 3000, "cache": 1, "dir": "%2"}}})")
                                .arg(strUrl, strCacheDir);
    WriteFile(strConfigPath, strJson.toUtf8());
}

QMap<QString, QByteArray> ReadTree(const QString& strDir)
{
    QMap<QString, QByteArray> files;
    const QDir root(strDir);
    QDirIterator it(strDir, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
    {
        const QString strPath = it.next();
        files.insert(root.relativeFilePath(strPath), ReadFile(strPath));
    }
    return files;
}

void WriteTree(const QString& strDir, const QMap<QString, QByteArray>& files)
{
    const QMap<QString, QByteArray> existing = ReadTree(strDir);
    for (auto it = existing.begin(); it != existing.end(); ++it)
    {
        if (!files.contains(it.key()))
            QFile::remove(QDir(strDir).filePath(it.key()));
    }
    for (auto it = files.begin(); it != files.end(); ++it)
    {
        if (existing.value(it.key()) != it.value() || !existing.contains(it.key()))
            WriteFile(QDir(strDir).filePath(it.key()), it.value());
    }
}

QByteArray Bytes(int nSize, quint32 uSeed)
{
    QRandomGenerator generator(uSeed);
    QByteArray data(nSize, Qt::Uninitialized);
    for (int i = 0; i < nSize; ++i)
        data[i] = static_cast<char>(generator.bounded(256));
    return data;
}

} // namespace OrvelTest
