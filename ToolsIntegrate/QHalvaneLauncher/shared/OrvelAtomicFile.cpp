#include "OrvelAtomicFile.h"

#include "OrvelCrashPoint.h"
#include "platform/OrvelFileSync.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

const char kOrvelTempSuffix[] = ".orveltmp";

bool OrvelIsAtomicTempName(const QString& strFileName, quint32* puPid)
{
    static const QRegularExpression kPattern(QStringLiteral("^\\..+\\.([0-9]+)-[0-9a-f]{8}\\.orveltmp$"));
    const QRegularExpressionMatch match = kPattern.match(strFileName);
    if (!match.hasMatch())
        return false;
    if (puPid != nullptr)
        *puPid = match.captured(1).toUInt();
    return true;
}

QFileDevice::Permissions OrvelFileMode(const QFileDevice::Permissions& permissions)
{
    return permissions & (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                          QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                          QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
}

OrvelAtomicFile::OrvelAtomicFile(const QString& strTarget) : m_strTarget(strTarget) {}

void OrvelAtomicFile::setNewFilePermissions(QFileDevice::Permissions permissions)
{
    m_newFilePermissions = permissions;
    m_bHasNewFilePermissions = true;
}

void OrvelAtomicFile::setPermissions(QFileDevice::Permissions permissions)
{
    m_permissions = permissions;
    m_bHasPermissions = true;
}

OrvelAtomicFile::~OrvelAtomicFile()
{
    if (!m_bCommitted)
        discard();
}

bool OrvelAtomicFile::open()
{
    const QFileInfo target(m_strTarget);
    // A name no other writer picks: the updater may race a second copy of itself.
    for (int nAttempt = 0; nAttempt < 16; ++nAttempt)
    {
        const QString strTemp = QStringLiteral("%1/.%2.%3-%4%5")
                                    .arg(target.absolutePath(), target.fileName())
                                    .arg(QCoreApplication::applicationPid())
                                    .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))
                                    .arg(QLatin1String(kOrvelTempSuffix));
        m_file.setFileName(strTemp);
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        if (m_file.error() != QFileDevice::OpenError || !target.dir().exists())
            break;
    }
    m_strError = m_file.errorString();
    return false;
}

bool OrvelAtomicFile::write(const char* pData, qint64 nSize)
{
    if (m_file.write(pData, nSize) == nSize)
        return true;
    m_strError = m_file.errorString();
    return false;
}

bool OrvelAtomicFile::commit()
{
    if (!m_file.isOpen())
    {
        m_strError = QStringLiteral("file is not open");
        return false;
    }
    // Decided at commit, when the target's current mode is known; a file that was
    // executable must stay so or the program it holds no longer starts.
    const QFileInfo target(m_strTarget);
    bool bSetMode = true;
    QFileDevice::Permissions permissions;
    if (m_bHasPermissions)
        permissions = m_permissions;
    else if (target.exists())
        permissions = target.permissions();
    else if (m_bHasNewFilePermissions)
        permissions = m_newFilePermissions;
    else
        bSetMode = false;
    if (bSetMode && !m_file.setPermissions(OrvelFileMode(permissions)))
    {
        m_strError = m_file.errorString();
        discard();
        return false;
    }
    if (!OrvelPlatform::FlushFile(m_file))
    {
        m_strError = m_file.errorString();
        discard();
        return false;
    }
    m_file.close();
    OrvelCrashPoint::Reached("atomic.temp-written");
    if (!OrvelPlatform::ReplaceFile(m_file.fileName(), m_strTarget, &m_strError))
    {
        discard();
        return false;
    }
    m_bCommitted = true;
    OrvelCrashPoint::Reached("atomic.renamed");
    return true;
}

void OrvelAtomicFile::discard()
{
    if (m_file.fileName().isEmpty())
        return;
    m_file.close();
    m_file.remove();
    m_file.setFileName(QString());
}

bool OrvelCopyFileAtomic(const QString& strSource, const QString& strTarget, QString* pstrError)
{
    QFile source(strSource);
    if (!source.open(QIODevice::ReadOnly))
    {
        if (pstrError != nullptr)
            *pstrError = source.errorString();
        return false;
    }
    OrvelAtomicFile target(strTarget);
    target.setPermissions(source.permissions());
    if (!target.open())
    {
        if (pstrError != nullptr)
            *pstrError = target.errorString();
        return false;
    }
    QByteArray buffer(65536, Qt::Uninitialized);
    for (;;)
    {
        const qint64 nRead = source.read(buffer.data(), buffer.size());
        if (nRead < 0)
        {
            if (pstrError != nullptr)
                *pstrError = source.errorString();
            return false;
        }
        if (nRead == 0)
            break;
        if (!target.write(buffer.constData(), nRead))
        {
            if (pstrError != nullptr)
                *pstrError = target.errorString();
            return false;
        }
    }
    if (!target.commit())
    {
        if (pstrError != nullptr)
            *pstrError = target.errorString();
        return false;
    }
    return true;
}
