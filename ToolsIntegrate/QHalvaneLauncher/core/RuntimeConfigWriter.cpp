#include "RuntimeConfigWriter.h"

#include "OrvelLeftoverTemps.h"

#include <OrvelAtomicFile.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QUrl>

static void InitCoreConfigResources()
{
    // A static library's resources are registered only when asked for.
    Q_INIT_RESOURCE(orvel_core_config);
}

namespace
{

const char kProductResource[] = ":/config/config_ofse_vemo.cfg";
const char kPreloadResource[] = ":/config/config_ofs_preload.cfg";
const char kClientProductsResource[] = ":/config/config_ofsp_vemo.cfg";
const char kProductFile[] = "config_ofse.cfg";
const char kPreloadFile[] = "config_ofs_preload.cfg";
const char kClientProductsFile[] = "config_ofsp.cfg";

// The texts of this file, in the RuntimeConfigWriter translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(RuntimeConfigWriter)
};

bool IsServerUrl(const QUrl& url)
{
    const QString strScheme = url.scheme().toLower();
    return url.isValid() && (strScheme == QLatin1String("http") || strScheme == QLatin1String("https")) &&
           !url.host().isEmpty() && !url.hasQuery() && !url.hasFragment();
}

// Adds keys to the configuration's "trust" list, after those it has.
void AddTrust(QJsonObject* pRoot, const QStringList& vecTrust)
{
    if (vecTrust.isEmpty())
        return;
    QJsonObject global = pRoot->value(QStringLiteral("global")).toObject();
    QJsonArray trust = global.value(QStringLiteral("trust")).toArray();
    for (const QString& strKey : vecTrust)
    {
        if (!trust.contains(strKey))
            trust.append(strKey);
    }
    global.insert(QStringLiteral("trust"), trust);
    pRoot->insert(QStringLiteral("global"), global);
}

// The configuration with every remote source's "url" replaced; false when
// the text is no JSON object.
bool PointSourcesAt(const QByteArray& data, const QString& strBaseUrl, QByteArray* pOut,
                    const QStringList& vecTrust = QStringList())
{
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (!document.isObject())
        return false;
    QJsonObject root = document.object();
    QJsonObject remote = root.value(QStringLiteral("remote")).toObject();
    QString strUrl = QUrl(strBaseUrl.trimmed(), QUrl::StrictMode).toString(QUrl::FullyEncoded);
    while (strUrl.endsWith(QLatin1Char('/')))
        strUrl.chop(1);
    for (auto it = remote.begin(); it != remote.end(); ++it)
    {
        if (!it.value().isObject())
            continue;
        QJsonObject source = it.value().toObject();
        source.insert(QStringLiteral("url"), strUrl);
        it.value() = source;
    }
    root.insert(QStringLiteral("remote"), remote);
    AddTrust(&root, vecTrust);
    *pOut = QJsonDocument(root).toJson(QJsonDocument::Indented);
    return true;
}

// The configuration with one remote source per URL, in order, each a copy of
// the first source of data; false when the text is no JSON object or has no source.
bool ListSources(const QByteArray& data, const QStringList& vecBaseUrls, QByteArray* pOut,
                 const QStringList& vecTrust)
{
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (!document.isObject())
        return false;
    QJsonObject root = document.object();
    const QJsonObject first =
        root.value(QStringLiteral("remote")).toObject().value(QStringLiteral("0")).toObject();
    if (first.isEmpty())
        return false;
    QJsonObject remote;
    remote.insert(QStringLiteral("count"), vecBaseUrls.size());
    for (int i = 0; i < vecBaseUrls.size(); ++i)
    {
        QString strUrl = QUrl(vecBaseUrls.at(i).trimmed(), QUrl::StrictMode).toString(QUrl::FullyEncoded);
        while (strUrl.endsWith(QLatin1Char('/')))
            strUrl.chop(1);
        QJsonObject source = first;
        source.insert(QStringLiteral("url"), strUrl);
        remote.insert(QString::number(i), source);
    }
    root.insert(QStringLiteral("remote"), remote);
    AddTrust(&root, vecTrust);
    *pOut = QJsonDocument(root).toJson(QJsonDocument::Indented);
    return true;
}

} // namespace

RuntimeConfigWriter& RuntimeConfigWriter::Instance()
{
    static RuntimeConfigWriter s_writer(QCoreApplication::applicationDirPath());
    return s_writer;
}

RuntimeConfigWriter::RuntimeConfigWriter(const QString& strAppDir) : m_strAppDir(strAppDir)
{
    InitCoreConfigResources();
}

QString RuntimeConfigWriter::CacheDirectory() const
{
    return QDir(m_strAppDir).filePath(QStringLiteral("_cache"));
}

bool RuntimeConfigWriter::Fail(const QString& strError)
{
    m_strLastError = strError;
    return false;
}

bool RuntimeConfigWriter::EnsureCacheDirectory()
{
    const QString strDir = CacheDirectory();
    if (QFileInfo(strDir).isDir() || QDir().mkpath(strDir))
        return true;
    return Fail(Text::tr("Failed to create cache directory: %1").arg(strDir));
}

bool RuntimeConfigWriter::ReadResource(const QString& strResource, QByteArray* pData)
{
    QFile resource(strResource);
    if (!resource.exists())
        return Fail(Text::tr("Embedded config resource not found: %1").arg(strResource));
    if (!resource.open(QIODevice::ReadOnly))
        return Fail(Text::tr("Failed to open embedded config resource: %1").arg(strResource));
    *pData = resource.readAll();
    return true;
}

bool RuntimeConfigWriter::WriteText(const QString& strTarget, const QByteArray& data)
{
    // Whole or not at all: a half-written copy-once file would never be rewritten.
    // A write cut off by a kill left its temporary file here.
    OrvelLeftoverTemps::RemoveBeside(strTarget);
    OrvelAtomicFile target(strTarget);
    if (!target.open() || !target.write(data.constData(), data.size()) || !target.commit())
        return Fail(Text::tr("Failed to write runtime config file: %1").arg(strTarget));
    if (!QFileInfo::exists(strTarget))
        return Fail(Text::tr("Runtime config file was not created: %1").arg(strTarget));
    return true;
}

bool RuntimeConfigWriter::CopyOnce(const QString& strResource, const QString& strTarget)
{
    // A configuration the user edited is theirs: never overwritten.
    if (QFileInfo::exists(strTarget))
        return true;
    QByteArray data;
    if (!ReadResource(strResource, &data))
        return false;
    return WriteText(strTarget, data);
}

bool RuntimeConfigWriter::WriteProductConfig()
{
    QMutexLocker lock(&m_mutex);
    if (!EnsureCacheDirectory())
        return false;
    m_strProductPath = QDir(CacheDirectory()).filePath(QLatin1String(kProductFile));
    return CopyOnce(QLatin1String(kProductResource), m_strProductPath);
}

bool RuntimeConfigWriter::WriteLauncherConfig()
{
    QMutexLocker lock(&m_mutex);
    if (!EnsureCacheDirectory())
        return false;
    m_strLauncherPath = QDir(CacheDirectory()).filePath(QLatin1String(kProductFile));
    return CopyOnce(QLatin1String(kProductResource), m_strLauncherPath);
}

bool RuntimeConfigWriter::WritePreloadConfig()
{
    QMutexLocker lock(&m_mutex);
    if (!EnsureCacheDirectory())
        return false;
    m_strPreloadPath = QDir(CacheDirectory()).filePath(QLatin1String(kPreloadFile));
    return CopyOnce(QLatin1String(kPreloadResource), m_strPreloadPath);
}

bool RuntimeConfigWriter::WriteClientProductsConfig(const QString& strWorkPath)
{
    QMutexLocker lock(&m_mutex);
    if (!EnsureCacheDirectory())
        return false;
    m_strClientProductsPath = QDir(CacheDirectory()).filePath(QLatin1String(kClientProductsFile));
    QByteArray data;
    if (!ReadResource(QLatin1String(kClientProductsResource), &data))
        return false;
    const QString strStoreDir = QDir(QDir::cleanPath(QDir(strWorkPath.trimmed()).absolutePath()))
                                    .filePath(QStringLiteral("clientCorvane"));
    // The path goes into a JSON string: escape it as JSON does.
    QString strEscaped = QString::fromUtf8(
        QJsonDocument(QJsonObject{{QStringLiteral("v"), strStoreDir}}).toJson(QJsonDocument::Compact));
    strEscaped = strEscaped.mid(6, strEscaped.size() - 8);
    QString strText = QString::fromUtf8(data);
    strText.replace(QStringLiteral("<%ProgramSetting%>"), strEscaped);
    QByteArray out = strText.toUtf8();
    if (!m_strClientProductsServer.isEmpty() &&
        !PointSourcesAt(strText.toUtf8(), m_strClientProductsServer, &out))
        return Fail(Text::tr("Failed to open embedded config resource: %1")
                        .arg(QLatin1String(kClientProductsResource)));
    return WriteText(m_strClientProductsPath, out);
}

bool RuntimeConfigWriter::SetClientProductsServer(const QString& strBaseUrl)
{
    QMutexLocker lock(&m_mutex);
    if (!strBaseUrl.trimmed().isEmpty() && !IsServerUrl(QUrl(strBaseUrl.trimmed(), QUrl::StrictMode)))
        return Fail(Text::tr("Invalid server URL: %1").arg(strBaseUrl));
    m_strClientProductsServer = strBaseUrl.trimmed();
    return true;
}

bool RuntimeConfigWriter::WriteProductConfigForServer(const QString& strBaseUrl)
{
    return WriteProductConfigForServers(QStringList{strBaseUrl});
}

bool RuntimeConfigWriter::WriteProductConfigForServers(const QStringList& vecBaseUrls)
{
    QMutexLocker lock(&m_mutex);
    if (vecBaseUrls.isEmpty())
        return Fail(Text::tr("Invalid server URL: %1").arg(QString()));
    for (const QString& strBaseUrl : vecBaseUrls)
    {
        if (!IsServerUrl(QUrl(strBaseUrl.trimmed(), QUrl::StrictMode)))
            return Fail(Text::tr("Invalid server URL: %1").arg(strBaseUrl));
    }
    if (!EnsureCacheDirectory())
        return false;
    m_strProductPath = QDir(CacheDirectory()).filePath(QLatin1String(kProductFile));
    QByteArray data;
    if (!ReadResource(QLatin1String(kProductResource), &data))
        return false;
    // One server takes the template's sources as they are; several get one
    // source each, shaped like the template's first.
    QByteArray out;
    const bool bWritten = vecBaseUrls.size() == 1
                              ? PointSourcesAt(data, vecBaseUrls.first(), &out, m_vecServerTrust)
                              : ListSources(data, vecBaseUrls, &out, m_vecServerTrust);
    if (!bWritten)
        return Fail(
            Text::tr("Failed to open embedded config resource: %1").arg(QLatin1String(kProductResource)));
    return WriteText(m_strProductPath, out);
}

void RuntimeConfigWriter::SetServerTrust(const QStringList& vecKeys)
{
    QMutexLocker lock(&m_mutex);
    m_vecServerTrust = vecKeys;
}

QString RuntimeConfigWriter::ProductConfigPath() const
{
    QMutexLocker lock(&m_mutex);
    return m_strProductPath;
}

QString RuntimeConfigWriter::LauncherConfigPath() const
{
    QMutexLocker lock(&m_mutex);
    return m_strLauncherPath;
}

QString RuntimeConfigWriter::PreloadConfigPath() const
{
    QMutexLocker lock(&m_mutex);
    return m_strPreloadPath;
}

QString RuntimeConfigWriter::ClientProductsConfigPath() const
{
    QMutexLocker lock(&m_mutex);
    return m_strClientProductsPath;
}

QString RuntimeConfigWriter::LastError() const
{
    QMutexLocker lock(&m_mutex);
    return m_strLastError;
}
