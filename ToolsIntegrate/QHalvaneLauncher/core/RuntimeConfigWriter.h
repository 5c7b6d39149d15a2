// Writes the library's runtime configurations into "_cache" beside the program
// from the templates embedded in the core's resources. One per process
// (Instance(), the program's directory); tests make their own. Thread-safe.
#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>

class RuntimeConfigWriter
{
public:
    static RuntimeConfigWriter& Instance();

    explicit RuntimeConfigWriter(const QString& strAppDir);

    RuntimeConfigWriter(const RuntimeConfigWriter&) = delete;
    RuntimeConfigWriter& operator=(const RuntimeConfigWriter&) = delete;

    // "_cache/config_ofse.cfg", written only when missing.
    bool WriteProductConfig();
    // The same file, recorded in the launcher slot.
    bool WriteLauncherConfig();
    // "_cache/config_ofs_preload.cfg", written only when missing.
    bool WritePreloadConfig();
    // "_cache/config_ofsp.cfg", rewritten every time with the working path.
    bool WriteClientProductsConfig(const QString& strWorkPath);

    // "_cache/config_ofse.cfg" from the product template with every remote
    // source pointed at strBaseUrl, always rewritten (a headless tool's
    // server option). The URL must be http(s) without query or fragment.
    bool WriteProductConfigForServer(const QString& strBaseUrl);
    // The same with one remote source per URL, in this order (the first is
    // asked first), each like the template's first source.
    bool WriteProductConfigForServers(const QStringList& vecBaseUrls);
    // Public keys (lines of a corvane keygen .pub file) that
    // WriteProductConfigForServer(s) add to the configuration's "trust" list,
    // after those of the template: the store must then be signed by one.
    void SetServerTrust(const QStringList& vecKeys);

    // Every later WriteClientProductsConfig points the client-products
    // sources at strBaseUrl (http(s), no query or fragment) instead of the
    // template's; an empty text goes back to the template. False (nothing
    // changed) for an invalid URL.
    bool SetClientProductsServer(const QString& strBaseUrl);

    QString ProductConfigPath() const;
    QString LauncherConfigPath() const;
    QString PreloadConfigPath() const;
    QString ClientProductsConfigPath() const;
    QString LastError() const;

    QString AppDirectory() const { return m_strAppDir; }
    QString CacheDirectory() const;

private:
    bool EnsureCacheDirectory();
    bool CopyOnce(const QString& strResource, const QString& strTarget);
    bool WriteText(const QString& strTarget, const QByteArray& data);
    bool ReadResource(const QString& strResource, QByteArray* pData);
    bool Fail(const QString& strError);

    QString m_strAppDir;
    mutable QMutex m_mutex;
    QString m_strProductPath;
    QString m_strLauncherPath;
    QString m_strPreloadPath;
    QString m_strClientProductsPath;
    QString m_strLastError;
    QString m_strClientProductsServer;
    QStringList m_vecServerTrust;
};
