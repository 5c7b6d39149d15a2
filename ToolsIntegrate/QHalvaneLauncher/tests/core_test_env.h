// A published store served by a real nginx, with an application directory
// whose product configuration reaches it: what the file service and the
// start-up decision need in tests.
#pragma once

#include "OrvelTestNginx.h"
#include "OrvelTestStore.h"
#include "OrvelTestSupport.h"

#include "OrvelCorvaneBinding.h"

#include <QDir>
#include <QMap>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace OrvelCoreTest
{

using Tree = QMap<QString, QByteArray>;

class ServedStore
{
public:
    // Packs each tree as the next version (1, 2, ...) and serves the store.
    bool Publish(const std::vector<Tree>& vecVersions)
    {
        OrvelCorvaneBinding::SetLibraryDirectory(OrvelTest::BinDir());
        if (!OrvelTest::PublishVersions(vecVersions, StoreDir()))
            return false;
        m_pNginx = std::make_unique<OrvelTest::Nginx>(StoreDir());
        return m_pNginx->Running();
    }

    // An application directory whose "_cache/config_ofse.cfg" reaches the store.
    QString MakeAppDir(const QString& strName)
    {
        const QString strAppDir = Path(strName);
        QDir().mkpath(strAppDir + QStringLiteral("/_cache"));
        OrvelTest::WriteReaderConfig(ConfigPath(strAppDir), m_pNginx->BaseUrl(),
                                     strAppDir + QStringLiteral("/_cache/ofse"));
        return strAppDir;
    }

    static QString ConfigPath(const QString& strAppDir)
    {
        return strAppDir + QStringLiteral("/_cache/config_ofse.cfg");
    }
    QString Path(const QString& strName) const { return m_dir.filePath(strName); }
    QString StoreDir() const { return m_dir.filePath(QStringLiteral("store")); }
    OrvelTest::Nginx& Server() { return *m_pNginx; }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<OrvelTest::Nginx> m_pNginx;
};

} // namespace OrvelCoreTest
