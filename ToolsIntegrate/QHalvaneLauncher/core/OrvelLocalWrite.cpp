#include "OrvelLocalWrite.h"

#include "OrvelCrashPoint.h"
#include "OrvelFileError.h"
#include "OrvelWriteBatch.h"
#include "platform/OrvelNativeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstring>

namespace OrvelLocalWrite
{

namespace
{

// The texts of this file, in the OrvelFileService translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelFileService)
};

} // namespace

bool CheckContained(const QString& strRoot, const QString& strTarget, QString* pstrError)
{
    const QString strCleanRoot = QDir::cleanPath(QDir(strRoot).absolutePath());
    const QString strCleanTarget = QDir::cleanPath(QDir(strTarget).absolutePath());
    const QString strPrefix =
        strCleanRoot.endsWith(QLatin1Char('/')) ? strCleanRoot : strCleanRoot + QLatin1Char('/');
    if (!strCleanTarget.startsWith(strPrefix) || strCleanTarget.size() == strPrefix.size())
    {
        if (pstrError != nullptr)
            *pstrError = Text::tr("Refused to write outside the working path: %1").arg(strTarget);
        return false;
    }
    // The root itself may be a link the user chose; below it, a link would
    // carry a write somewhere else.
    const QStringList vecParts = strCleanTarget.mid(strPrefix.size()).split(QLatin1Char('/'));
    QString strPath = strCleanRoot;
    for (int nIndex = 0; nIndex + 1 < vecParts.size(); ++nIndex)
    {
        strPath += QLatin1Char('/') + vecParts.at(nIndex);
        if (OrvelPlatform::IsSymbolicLink(strPath))
        {
            if (pstrError != nullptr)
                *pstrError = Text::tr("Refused to write through a symbolic link: %1").arg(strPath);
            return false;
        }
    }
    return true;
}

bool WriteFileAtomic(const QString& strTarget, const char* pData, qint64 nSize, OrvelWriteBatch* pBatch,
                     QString* pstrError, int* pnCode)
{
    bool bGiven = false;
    const auto fnWhole = [&](const char** ppPiece) -> qint64
    {
        *ppPiece = pData;
        const qint64 nPiece = bGiven ? 0 : nSize;
        bGiven = true;
        return nPiece;
    };
    return WriteFileAtomicFrom(strTarget, nSize, fnWhole, pBatch, pstrError, pnCode, nullptr);
}

bool WriteFileAtomicFrom(const QString& strTarget, qint64 nSize, const PieceFn& fnNext,
                         OrvelWriteBatch* pBatch, QString* pstrError, int* pnCode, bool* pbSourceFailed)
{
    if (pbSourceFailed != nullptr)
        *pbSourceFailed = false;
    const QFileInfo target(strTarget);
    const bool bExisted = target.exists() || target.isSymLink();
    const QString strOperation =
        bExisted ? Text::tr("create temporary file for local file") : Text::tr("create local file");

    OrvelPlatform::NativeFile file;
    QString strTemp;
    for (int nAttempt = 0; nAttempt < 8; ++nAttempt)
    {
        strTemp = QStringLiteral("%1/.%2.%3-%4.orveltmp")
                      .arg(target.absolutePath(), target.fileName())
                      .arg(QCoreApplication::applicationPid())
                      .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        if (file.CreateNew(strTemp))
            break;
        if (!QFileInfo::exists(strTemp))
            break;
    }
    if (!file.IsOpen())
    {
        if (pstrError != nullptr)
            *pstrError = OrvelFileError::Format(strOperation, strTarget, QString(), file.ErrorCode(), true);
        if (pnCode != nullptr)
            *pnCode = file.ErrorCode();
        return false;
    }

    auto failWith = [&](const QString& strOp, int nCode, bool bReadOnlyCheck)
    {
        if (file.IsOpen())
            file.Close();
        OrvelPlatform::RemoveFile(strTemp);
        if (pstrError != nullptr)
            *pstrError = OrvelFileError::Format(strOp, strTarget, QString(), nCode, bReadOnlyCheck);
        if (pnCode != nullptr)
            *pnCode = nCode;
        return false;
    };
    auto failSource = [&]()
    {
        if (pbSourceFailed != nullptr)
            *pbSourceFailed = true;
        file.Close();
        OrvelPlatform::RemoveFile(strTemp);
        return false;
    };
    const char* pPiece = nullptr;
    qint64 nPiece = nSize > 0 ? fnNext(&pPiece) : 0;
    if (nPiece < 0 || nPiece > nSize || (nSize > 0 && nPiece == 0))
        return failSource();
    // A replaced file keeps its mode; a new program (the store keeps no modes)
    // is known by its first bytes.
    const bool bProgram = nPiece >= 4 && (std::memcmp(pPiece,
                                                      "\x7f"
                                                      "ELF",
                                                      4) == 0 ||
                                          std::memcmp(pPiece, "#!", 2) == 0);
    if (!file.MatchMode(bExisted ? strTarget : QString(), bProgram))
        return failWith(Text::tr("write local file"), file.ErrorCode(), false);
    qint64 nWritten = 0;
    while (nPiece > 0)
    {
        if (!file.WriteAll(pPiece, nPiece))
            return failWith(Text::tr("write local file"), file.ErrorCode(), false);
        nWritten += nPiece;
        if (nWritten == nSize)
            break;
        nPiece = fnNext(&pPiece);
        if (nPiece <= 0 || nPiece > nSize - nWritten)
            return failSource();
    }
    if (pBatch == nullptr && !file.Sync())
        return failWith(Text::tr("write local file"), file.ErrorCode(), false);
    if (pBatch != nullptr)
        file.StartWriteBack();
    if (!file.Close())
        return failWith(Text::tr("write local file"), file.ErrorCode(), false);
    OrvelCrashPoint::Reached("local.temp-written");
    int nCode = 0;
    if (!OrvelPlatform::ReplaceFile(strTemp, strTarget, &nCode))
        return failWith(Text::tr("replace local file"), nCode, true);
    OrvelCrashPoint::Reached("local.renamed");
    if (pBatch != nullptr)
    {
        pBatch->AddFile(strTarget);
    }
    else
    {
        // The rename is the commit; without this it may not survive a power cut.
        OrvelPlatform::SyncPath(target.absolutePath(), true, nullptr);
    }
    return true;
}

void PruneEmptyDirectories(const QString& strRoot, const QString& strRemovedFile, OrvelWriteBatch* pBatch)
{
    const auto fnClean = [](const QString& strPath) { return QDir::cleanPath(QDir(strPath).absolutePath()); };
    const QString strCleanRoot = fnClean(strRoot);
    const QString strPrefix =
        strCleanRoot.endsWith(QLatin1Char('/')) ? strCleanRoot : strCleanRoot + QLatin1Char('/');
    QString strDir = fnClean(QFileInfo(strRemovedFile).absolutePath());
    while (strDir != strCleanRoot && strDir.startsWith(strPrefix))
    {
        if (OrvelPlatform::IsSymbolicLink(strDir))
            break;
        const QDir dir(strDir);
        if (!dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).isEmpty())
            break;
        const QString strParent = fnClean(QFileInfo(strDir).absolutePath());
        if (!QDir(strParent).rmdir(QFileInfo(strDir).fileName()))
            break;
        if (pBatch != nullptr)
            pBatch->AddDirectory(strParent);
        strDir = strParent;
    }
}

} // namespace OrvelLocalWrite
