// Published stores for tests: versions built from real trees with the
// project's packer (the corvane tool in the deliverables' directory), and a
// reader configuration that reaches them over HTTP.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <vector>

namespace OrvelTest
{

// The deliverables' directory: $CORVANE_TEST_BIN_DIR, else the build's bin/.
QString BinDir();

// Packs the whole tree as version uVersion of the store; fails the test (and
// returns false) when corvane pack fails.
bool PackVersion(const QString& strTree, const QString& strStore, quint32 uVersion);

// Packs the trees as versions 1..N of strStore, each through a scratch tree
// beside the store; false (the test failed) when one pack fails.
bool PublishVersions(const std::vector<QMap<QString, QByteArray>>& vecTrees, const QString& strStore);

// A reader configuration with one HTTP source at strUrl cached in strCacheDir.
void WriteReaderConfig(const QString& strConfigPath, const QString& strUrl, const QString& strCacheDir);

// Every regular file below strDir by its "/"-separated relative path.
QMap<QString, QByteArray> ReadTree(const QString& strDir);
// Makes strDir hold exactly files (other regular files removed).
void WriteTree(const QString& strDir, const QMap<QString, QByteArray>& files);

// Deterministic incompressible-ish bytes.
QByteArray Bytes(int nSize, quint32 uSeed);

} // namespace OrvelTest
