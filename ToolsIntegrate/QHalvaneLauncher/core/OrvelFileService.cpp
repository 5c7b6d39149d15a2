#include "OrvelFileService.h"

#include "OrvelCorvaneBinding.h"
#include "OrvelFileError.h"
#include "OrvelLocalWrite.h"
#include "OrvelStorePath.h"
#include "OrvelStoreProbe.h"
#include "OrvelWriteBatch.h"
#include "platform/OrvelNativeFile.h"

#include <Corvane/PemCorvaneX64.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <mutex>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

namespace
{

// A pool thread hashes many files one after another: keeping its buffer saves
// a fresh allocation (and its page faults) per file. Larger buffers are not kept.
constexpr qint64 kKeptBufferLimit = qint64(64) << 20;

bool IsCancelled(const std::atomic_bool* pbCancel, QThread* pThread)
{
    return (pbCancel != nullptr && pbCancel->load(std::memory_order_relaxed)) ||
           (pThread != nullptr && pThread->isInterruptionRequested());
}

// Reads exactly nSize bytes; false on a short read or a device error.
bool ReadExactly(QFile& file, char* pBuffer, qint64 nSize)
{
    while (nSize > 0)
    {
        const qint64 nRead = file.read(pBuffer, nSize);
        if (nRead <= 0)
            return false;
        pBuffer += nRead;
        nSize -= nRead;
    }
    return true;
}

} // namespace

namespace
{

// Every service alive, and what the readers released so far fetched.
struct FetchRegistry
{
    std::mutex mtx;
    std::set<const OrvelFileService*> setLive;
    OrvelFileService::FetchTotals retired;
};

FetchRegistry& Registry()
{
    static FetchRegistry s_registry;
    return s_registry;
}

} // namespace

OrvelFileService::OrvelFileService(QObject* pParent) : QObject(pParent)
{
    std::lock_guard<std::mutex> lock(Registry().mtx);
    Registry().setLive.insert(this);
}

OrvelFileService::~OrvelFileService()
{
    ReleaseReader();
    std::lock_guard<std::mutex> lock(Registry().mtx);
    Registry().setLive.erase(this);
}

OrvelFileService::FetchTotals OrvelFileService::ReaderFetched(NSCorvane::IPemCorvaneReader* pReader)
{
    OrvelCorvaneBinding::EntryPoints entry;
    NSCorvane::CORVANE_TRANSFER_COUNTS counts;
    FetchTotals totals;
    if (pReader != nullptr && OrvelCorvaneBinding::Bind(&entry, nullptr) &&
        entry.pfnTransferCounts != nullptr && entry.pfnTransferCounts(pReader, &counts))
    {
        totals.uBytes = counts.uWholeBytes + counts.uRangeBytes;
        totals.uRequests = counts.uWholeRequests + counts.uRangeRequests + counts.uQueryRequests;
    }
    return totals;
}

OrvelFileService::FetchTotals OrvelFileService::FetchedByProcess()
{
    FetchRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mtx);
    FetchTotals totals = registry.retired;
    for (const OrvelFileService* pService : registry.setLive)
    {
        const FetchTotals live = ReaderFetched(pService->m_pReader);
        totals.uBytes += live.uBytes;
        totals.uRequests += live.uRequests;
    }
    return totals;
}

void OrvelFileService::ReleaseCounted(NSCorvane::IPemCorvaneReader* pReader)
{
    if (pReader == nullptr)
        return;
    const FetchTotals last = ReaderFetched(pReader);
    {
        std::lock_guard<std::mutex> lock(Registry().mtx);
        Registry().retired.uBytes += last.uBytes;
        Registry().retired.uRequests += last.uRequests;
    }
    pReader->Release();
}

void OrvelFileService::ReleaseReader()
{
    FetchRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mtx);
    if (m_pReader != nullptr)
    {
        const FetchTotals last = ReaderFetched(m_pReader);
        registry.retired.uBytes += last.uBytes;
        registry.retired.uRequests += last.uRequests;
        m_pReader->Release();
        m_pReader = nullptr;
    }
}

void OrvelFileService::SetLastError(const QString& strError)
{
    std::lock_guard<std::mutex> lock(m_errorMutex);
    m_strLastError = strError;
}

QString OrvelFileService::LastError() const
{
    std::lock_guard<std::mutex> lock(m_errorMutex);
    return m_strLastError;
}

FileServiceStatus OrvelFileService::Fail(const QString& strError)
{
    SetLastError(strError);
    return FileServiceStatus{false, strError};
}

FileServiceStatus OrvelFileService::FailLocal(const QString& strError)
{
    FileServiceStatus status = Fail(strError);
    status.localFailure = true;
    return status;
}

bool OrvelFileService::RequireReader(QString* pstrError)
{
    if (m_pReader != nullptr)
        return true;
    const QString strError = tr("Corvane reader not initialized");
    SetLastError(strError);
    if (pstrError != nullptr)
        *pstrError = strError;
    return false;
}

bool OrvelFileService::Initialize(const QString& strConfigPath, quint32 uVersion)
{
    return OpenReader(strConfigPath, uVersion, false);
}

bool OrvelFileService::OpenReader(const QString& strConfigPath, quint32 uVersion, bool bListsOnly)
{
    ReleaseReader();
    OrvelCorvaneBinding::EntryPoints entry;
    QString strError;
    if (!OrvelCorvaneBinding::Bind(&entry, &strError))
    {
        SetLastError(strError);
        return false;
    }
    // A local path keeps its case: on a case-sensitive file system lower-casing
    // it would name another file.
    const QByteArray configPath = QDir::fromNativeSeparators(strConfigPath).toUtf8();
    NSCorvane::IPemCorvaneReader* pReader = nullptr;
    if (!entry.NewReader(bListsOnly)(&pReader, configPath.constData(), uVersion) || pReader == nullptr)
    {
        // The first line is the one users and scripts know; the second names
        // the server and what went wrong with it, when that was the cause.
        QString strFailure = tr("Failed to create StreamReader, please check configuration file");
        // A refused signature is named as the library words it ("store not trusted: ...").
        const QString strKept = LibraryFailureText(entry);
        if (!strKept.isEmpty())
            strFailure += QLatin1Char('\n') + strKept;
        const OrvelStoreProbeResult probe = OrvelProbeStore(strConfigPath);
        if (!probe.bReachable)
            strFailure += QLatin1Char('\n') + probe.Describe();
        SetLastError(strFailure);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(Registry().mtx);
        m_pReader = pReader;
    }
    m_strConfigPath = strConfigPath;
    m_uVersion = uVersion;
    SetLastError(QString());
    return true;
}

void OrvelFileService::Close()
{
    ReleaseReader();
}

bool OrvelFileService::IsReady() const
{
    return m_pReader != nullptr;
}

quint32 OrvelFileService::CurrentVersion()
{
    if (!RequireReader(nullptr))
        return 0;
    return m_pReader->GetWorkVersion();
}

std::unique_ptr<OrvelFileService> OrvelFileService::CreateVersionBoundService(quint32 uVersion,
                                                                              QString* pstrError)
{
    return CreateService(uVersion, false, pstrError);
}

std::unique_ptr<OrvelFileService> OrvelFileService::CreateVersionListService(quint32 uVersion,
                                                                             QString* pstrError)
{
    return CreateService(uVersion, true, pstrError);
}

std::unique_ptr<OrvelFileService> OrvelFileService::CreateService(quint32 uVersion, bool bListsOnly,
                                                                  QString* pstrError)
{
    if (m_strConfigPath.isEmpty())
    {
        if (pstrError != nullptr)
            *pstrError = tr("Corvane configuration path is empty");
        return nullptr;
    }
    auto pService = std::make_unique<OrvelFileService>();
    if (!pService->OpenReader(m_strConfigPath, uVersion, bListsOnly))
    {
        if (pstrError != nullptr)
        {
            const QString strError = pService->LastError();
            *pstrError = strError.isEmpty() ? tr("Failed to initialize Corvane") : strError;
        }
        return nullptr;
    }
    return pService;
}

bool OrvelFileService::Rebind(quint32 uVersion)
{
    if (m_strConfigPath.isEmpty())
    {
        SetLastError(tr("Corvane configuration path is empty"));
        return false;
    }
    const QString strConfigPath = m_strConfigPath;
    return Initialize(strConfigPath, uVersion);
}

PakInfoResult OrvelFileService::ReadPakInfo()
{
    PakInfoResult result;
    if (!RequireReader(&result.error))
        return result;
    NSCorvane::CORVANE_PAK_INFO info;
    std::memset(&info, 0, sizeof(info));
    const int nStatus = m_pReader->ReadPakInfo(&info);
    const QString strVersion = QString::number(m_pReader->GetWorkVersion());
    switch (nStatus)
    {
    case 0:
        result.status = PakInfoResult::StatusOk;
        // The record's texts are fixed arrays: never trust a terminator.
        result.releaseText = QString::fromUtf8(
            info.szReleaseText, static_cast<int>(qstrnlen(info.szReleaseText, sizeof(info.szReleaseText))));
        result.tag = QString::fromUtf8(
            info.szReleaseGuid, static_cast<int>(qstrnlen(info.szReleaseGuid, sizeof(info.szReleaseGuid))));
        SetLastError(QString());
        return result;
    case 1:
        result.status = PakInfoResult::StatusCacheRepair;
        result.error = tr("PakInfo requires cache repair for version %1").arg(strVersion);
        break;
    case 2:
        result.status = PakInfoResult::StatusMetadataMissing;
        result.error = tr("PakInfo metadata not found for version %1").arg(strVersion);
        break;
    default:
        result.status = PakInfoResult::StatusFailed;
        result.error = tr("Failed to get PakInfo for version %1").arg(strVersion);
        break;
    }
    SetLastError(result.error);
    return result;
}

bool OrvelFileService::RemoteFileExists(const QString& strStorePath)
{
    if (!RequireReader(nullptr))
        return false;
    if (m_pReader->HasFile(OrvelStorePath::ToLibrary(strStorePath).constData()))
        return true;
    SetLastError(tr("Remote file not found: %1").arg(strStorePath));
    return false;
}

std::shared_ptr<NSCorvane::IFile> OrvelFileService::OpenRemoteFile(const QString& strStorePath)
{
    if (!RequireReader(nullptr))
        return nullptr;
    NSCorvane::IFile* pFile = m_pReader->OpenFile(OrvelStorePath::ToLibrary(strStorePath).constData(), -1);
    if (pFile == nullptr)
        return nullptr;
    return std::shared_ptr<NSCorvane::IFile>(pFile, [](NSCorvane::IFile* p) { p->Release(); });
}

bool OrvelFileService::ReadRemoteBytes(const QString& strStorePath, QByteArray* pData, QString* pstrError)
{
    auto fail = [&](const QString& strError)
    {
        SetLastError(strError);
        if (pstrError != nullptr)
            *pstrError = strError;
        return false;
    };
    if (!RequireReader(pstrError))
        return false;
    const std::shared_ptr<NSCorvane::IFile> pFile = OpenRemoteFile(strStorePath);
    if (!pFile)
        return fail(tr("Cannot open remote file: %1").arg(strStorePath));
    const quint32 uSize = pFile->Size();
    if (qint64(uSize) >= kWholeFileLimit)
        return fail(tr("Remote file too large to read as text: %1").arg(strStorePath));
    QByteArray data(static_cast<int>(uSize), Qt::Uninitialized);
    quint32 uDone = 0;
    while (uDone < uSize)
    {
        const int32_t nRead = pFile->Read(data.data() + uDone, uSize - uDone);
        if (nRead <= 0)
            return fail(tr("Failed to read remote file: %1").arg(strStorePath));
        uDone += static_cast<quint32>(nRead);
    }
    *pData = data;
    return true;
}

bool OrvelFileService::ReadRemoteText(const QString& strStorePath, QString* pstrText, QString* pstrError)
{
    QByteArray data;
    if (!ReadRemoteBytes(strStorePath, &data, pstrError))
        return false;
    *pstrText = QString::fromUtf8(data);
    return true;
}

FileServiceValue OrvelFileService::RemoteFileHash(const QString& strStorePath)
{
    FileServiceValue result;
    if (!RequireReader(&result.error))
        return result;
    result.value = m_pReader->GetFileHash(OrvelStorePath::ToLibrary(strStorePath).constData());
    if (result.value == 0)
    {
        result.error = tr("Failed to get cloud file hash: %1").arg(strStorePath);
        SetLastError(result.error);
        return result;
    }
    result.ok = true;
    return result;
}

FileServiceValue OrvelFileService::HashBytes(const QByteArray& data)
{
    FileServiceValue result;
    if (!RequireReader(&result.error))
        return result;
    result.value = m_pReader->CalcContextHash(data.constData(), static_cast<uint32_t>(data.size()));
    result.ok = true;
    return result;
}

FileServiceValue OrvelFileService::HashLocalFile(const QString& strLocalPath)
{
    FileServiceValue result;
    auto fail = [&](const QString& strError)
    {
        result.error = strError;
        SetLastError(strError);
        return result;
    };
    if (!RequireReader(&result.error))
        return result;
    QFile file(strLocalPath);
    if (!file.exists())
        return fail(tr("File not found: %1").arg(strLocalPath));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return fail(tr("Cannot open file: %1").arg(strLocalPath));
    // Size from the open file, not the name: the file may change meanwhile.
    const qint64 nSize = file.size();
    if (nSize >= kWholeFileLimit)
        return fail(tr("File too large for hashing: %1").arg(strLocalPath));

    OrvelCorvaneBinding::EntryPoints entry;
    if (nSize > kKeptBufferLimit && OrvelCorvaneBinding::Bind(&entry, nullptr) &&
        entry.pfnFeedContextHash != nullptr)
    {
        // A large file is hashed piece by piece, never held whole.
        std::vector<char> piece(size_t(4) << 20);
        uint64_t uState = NSCorvane::CORVANE_CONTEXT_HASH_START;
        uint64_t uValue = 0;
        for (qint64 nLeft = nSize; nLeft > 0;)
        {
            const qint64 nWant = std::min<qint64>(nLeft, qint64(piece.size()));
            if (!ReadExactly(file, piece.data(), nWant) ||
                !entry.pfnFeedContextHash(&uState, piece.data(), static_cast<uint32_t>(nWant), &uValue))
                return fail(tr("Failed to read file for hashing: %1").arg(strLocalPath));
            nLeft -= nWant;
        }
        char byPast = 0;
        if (file.read(&byPast, 1) != 0)
            return fail(tr("Failed to read file for hashing: %1").arg(strLocalPath));
        result.value = uValue;
        result.ok = true;
        return result;
    }

    thread_local std::vector<char> t_buffer;
    std::vector<char> largeBuffer;
    std::vector<char>* pBuffer = &t_buffer;
    if (nSize > kKeptBufferLimit)
        pBuffer = &largeBuffer;
    if (pBuffer->size() < static_cast<size_t>(nSize) + 1)
    {
        try
        {
            pBuffer->resize(static_cast<size_t>(nSize) + 1);
        }
        catch (const std::bad_alloc&)
        {
            return fail(tr("Failed to read file for hashing: %1").arg(strLocalPath));
        }
    }
    // One byte past the size tells a file that grew while it was read.
    if (!ReadExactly(file, pBuffer->data(), nSize) || file.read(pBuffer->data() + nSize, 1) != 0)
        return fail(tr("Failed to read file for hashing: %1").arg(strLocalPath));
    result.value = m_pReader->CalcContextHash(pBuffer->data(), static_cast<uint32_t>(nSize));
    result.ok = true;
    return result;
}

FileCompareResult OrvelFileService::CompareLocalFile(const QString& strStorePath, const QString& strLocalPath)
{
    FileCompareResult result;
    if (!RequireReader(&result.error))
        return result;
    const QFileInfo local(strLocalPath);
    if (!local.exists() || !local.isFile() || local.isSymLink())
    {
        result.ok = true;
        return result;
    }
    const QByteArray path = OrvelStorePath::ToLibrary(strStorePath);
    NSCorvane::CorvaneFileInfo info = {};
    if (m_pReader->GetFileInfo(path.constData(), &info) && qint64(info.uFileSize) != local.size())
    {
        result.ok = true;
        return result;
    }
    const FileServiceValue localHash = HashLocalFile(strLocalPath);
    if (!localHash.ok)
    {
        result.error = localHash.error;
        result.localFailure = true;
        return result;
    }
    const FileServiceValue remoteHash = RemoteFileHash(strStorePath);
    if (!remoteHash.ok)
    {
        result.error = remoteHash.error;
        return result;
    }
    result.ok = true;
    result.same = localHash.value == remoteHash.value;
    return result;
}

QStringList OrvelFileService::ReadList(NSCorvane::IStringList* pList)
{
    QStringList vecItems;
    if (pList == nullptr)
        return vecItems;
    const uint32_t uCount = pList->Count();
    vecItems.reserve(static_cast<int>(qMin<uint32_t>(uCount, 1u << 24)));
    for (uint32_t uIndex = 0; uIndex < uCount; ++uIndex)
    {
        const char* pcszItem = pList->Get(uIndex);
        if (pcszItem != nullptr)
            vecItems.append(QString::fromUtf8(pcszItem));
    }
    pList->Release();
    return vecItems;
}

QStringList OrvelFileService::ListAllFiles()
{
    return RequireReader(nullptr) ? ReadList(m_pReader->OpenFileList()) : QStringList();
}

QStringList OrvelFileService::ListFiles(const QString& strDir, bool bRecursive)
{
    if (!RequireReader(nullptr))
        return QStringList();
    return ReadList(m_pReader->OpenFileList(OrvelStorePath::ToLibrary(strDir).constData(), bRecursive));
}

QStringList OrvelFileService::ListDataFiles()
{
    return RequireReader(nullptr) ? ReadList(m_pReader->OpenDataList()) : QStringList();
}

QStringList OrvelFileService::ListPatchFiles()
{
    return RequireReader(nullptr) ? ReadList(m_pReader->OpenPatchFileList()) : QStringList();
}

QStringList OrvelFileService::ListPatchDataFiles()
{
    return RequireReader(nullptr) ? ReadList(m_pReader->OpenPatchDataList()) : QStringList();
}

namespace
{

QStringList WithoutLauncherPaths(const QStringList& vecPaths)
{
    QStringList vecKept;
    vecKept.reserve(vecPaths.size());
    for (const QString& strPath : vecPaths)
    {
        if (!strPath.isEmpty() && !OrvelStorePath::IsLauncherSelfPath(strPath))
            vecKept.append(strPath);
    }
    return vecKept;
}

} // namespace

QStringList OrvelFileService::ListAllFilesFiltered()
{
    return WithoutLauncherPaths(ListAllFiles());
}

QStringList OrvelFileService::ListPatchFilesFiltered()
{
    return WithoutLauncherPaths(ListPatchFiles());
}

bool OrvelFileService::ReadListChecked(NSCorvane::IStringList* pList, const QString& strWhat,
                                       QStringList* pvecOut, QString* pstrError)
{
    // The library hands out an empty list for an empty version; null means the
    // list could not be read, and must not pass for "nothing to do".
    if (pList == nullptr)
    {
        const QString strError = tr("Failed to read the %1 of version %2").arg(strWhat).arg(CurrentVersion());
        SetLastError(strError);
        if (pstrError != nullptr)
            *pstrError = strError;
        return false;
    }
    *pvecOut = WithoutLauncherPaths(ReadList(pList));
    return true;
}

bool OrvelFileService::ListAllFilesFiltered(QStringList* pvecOut, QString* pstrError)
{
    if (!RequireReader(pstrError))
        return false;
    return ReadListChecked(m_pReader->OpenFileList(), tr("file list"), pvecOut, pstrError);
}

bool OrvelFileService::ListPatchFilesFiltered(QStringList* pvecOut, QString* pstrError)
{
    if (!RequireReader(pstrError))
        return false;
    return ReadListChecked(m_pReader->OpenPatchFileList(), tr("changed-file list"), pvecOut, pstrError);
}

FileServiceStatus OrvelFileService::DownloadDataListEntry(const QString& strDataPath)
{
    QString strError;
    if (!RequireReader(&strError))
        return FileServiceStatus{false, strError};
    if (!m_pReader->SyncDownloadDataFile(OrvelStorePath::ToLibrary(strDataPath).constData()))
        return Fail(tr("Failed to download data file from data list entry: %1").arg(strDataPath));
    return FileServiceStatus{true, QString()};
}

FileServiceStatus OrvelFileService::SyncPatchData()
{
    QString strError;
    if (!RequireReader(&strError))
        return FileServiceStatus{false, strError};
    NSCorvane::IStringList* pList = m_pReader->OpenPatchDataList();
    if (pList == nullptr)
        return FileServiceStatus{true, QString()};
    const QStringList vecEntries = ReadList(pList);
    for (const QString& strEntry : vecEntries)
    {
        if (!m_pReader->SyncDownloadDataFile(OrvelStorePath::ToLibrary(strEntry).constData()))
            return Fail(tr("Failed to sync patch data for version %1: %2")
                            .arg(QString::number(m_pReader->GetWorkVersion()), strEntry));
    }
    SetLastError(QString());
    return FileServiceStatus{true, QString()};
}

FileServiceStatus OrvelFileService::DownloadToLocalFile(const QString& strStorePath,
                                                        const QString& strLocalPath,
                                                        const std::atomic_bool* pbCancel, QThread* pThread,
                                                        const QString& strContainRoot,
                                                        OrvelWriteBatch* pBatch)
{
    QString strError;
    if (!RequireReader(&strError))
        return FileServiceStatus{false, strError};
    m_bPaused.store(false);

    // Refused before anything is fetched or created.
    if (!OrvelStorePath::IsSafeRelative(strStorePath, &strError))
        return Fail(strError);
    if (!strContainRoot.isEmpty() &&
        !OrvelLocalWrite::CheckContained(strContainRoot, strLocalPath, &strError))
        return Fail(strError);

    const QByteArray path = OrvelStorePath::ToLibrary(strStorePath);
    const std::shared_ptr<NSCorvane::IFile> pFile = OpenRemoteFile(strStorePath);
    if (!pFile)
        return Fail(tr("Cannot open remote file: %1").arg(strStorePath));

    const QFileInfo target(strLocalPath);
    const QString strDir = target.absolutePath();
    if (!QFileInfo(strDir).isDir())
    {
        // Remember the first missing directory: its parent gains an entry.
        QString strFirstMissing = strDir;
        while (!QFileInfo(QFileInfo(strFirstMissing).absolutePath()).exists())
            strFirstMissing = QFileInfo(strFirstMissing).absolutePath();
        if (!QDir().mkpath(strDir))
            return FailLocal(tr("Cannot create directory: %1").arg(strDir));
        if (pBatch != nullptr)
        {
            for (QString strAdded = strDir;; strAdded = QFileInfo(strAdded).absolutePath())
            {
                pBatch->AddDirectory(QFileInfo(strAdded).absolutePath());
                if (strAdded == strFirstMissing || strAdded.size() <= 1)
                    break;
            }
        }
    }

    while (m_bPaused.load())
    {
        if (IsCancelled(pbCancel, pThread))
            return Fail(tr("Download cancelled: %1").arg(strStorePath));
        QThread::msleep(100);
    }
    if (IsCancelled(pbCancel, pThread))
        return Fail(tr("Download cancelled: %1").arg(strStorePath));

    // A file without a buffer (a large one, decoded as it is read) is written
    // piece by piece; any other is held whole.
    const quint32 uSize = pFile->Size();
    const char* pData = static_cast<const char*>(pFile->GetBuffer());
    if (pData == nullptr && uSize > 0)
        return WriteStreamed(pFile.get(), strStorePath, target.absoluteFilePath(), pbCancel, pThread, pBatch);

    // Nothing reaches the working path unless it is the store's content.
    const uint64_t uExpected = m_pReader->GetFileHash(path.constData());
    if (uExpected == 0)
        return Fail(tr("Failed to get cloud file hash: %1").arg(strStorePath));
    const uint64_t uActual = m_pReader->CalcContextHash(pData != nullptr ? pData : "", uSize);
    if (uActual != uExpected)
        return Fail(tr("Downloaded content does not match the store's hash: %1").arg(strStorePath));

    int nCode = 0;
    if (!OrvelLocalWrite::WriteFileAtomic(target.absoluteFilePath(), pData != nullptr ? pData : "", uSize,
                                          pBatch, &strError, &nCode))
    {
        // A full disk is no file a running tool holds: putting it off would
        // let the run record a version it could not write.
        if (OrvelPlatform::ClassifyFileError(nCode) == OrvelPlatform::FileErrorKind::NoSpace)
            return Fail(strError);
        return FailLocal(strError);
    }
    SetLastError(QString());
    return FileServiceStatus{true, QString()};
}

FileServiceStatus OrvelFileService::WriteStreamed(NSCorvane::IFile* pFile, const QString& strStorePath,
                                                  const QString& strTarget, const std::atomic_bool* pbCancel,
                                                  QThread* pThread, OrvelWriteBatch* pBatch)
{
    // A large file is decoded as it is read; the library checks its content
    // before it gives the last byte, so a file that fails is never renamed
    // into place.
    QByteArray piece(int(1) << 20, Qt::Uninitialized);
    bool bCancelled = false;
    const auto fnNext = [&](const char** ppPiece) -> qint64
    {
        if (IsCancelled(pbCancel, pThread))
        {
            bCancelled = true;
            return -1;
        }
        const int32_t nRead = pFile->Read(piece.data(), static_cast<uint32_t>(piece.size()));
        *ppPiece = piece.constData();
        return nRead;
    };
    QString strError;
    int nCode = 0;
    bool bSourceFailed = false;
    if (OrvelLocalWrite::WriteFileAtomicFrom(strTarget, pFile->Size(), fnNext, pBatch, &strError, &nCode,
                                             &bSourceFailed))
    {
        SetLastError(QString());
        return FileServiceStatus{true, QString()};
    }
    if (bCancelled)
        return Fail(tr("Download cancelled: %1").arg(strStorePath));
    if (bSourceFailed)
        return Fail(tr("Failed to read file: %1").arg(strStorePath));
    if (OrvelPlatform::ClassifyFileError(nCode) == OrvelPlatform::FileErrorKind::NoSpace)
        return Fail(strError);
    return FailLocal(strError);
}

bool OrvelFileService::SetDownloadLimit(quint64 uBytesPerSec)
{
    if (m_pReader != nullptr && m_pReader->SetLimitSpeed(uBytesPerSec))
        return true;
    if (m_pReader == nullptr)
        return RequireReader(nullptr);
    SetLastError(tr("Failed to set download limit speed: %1 B/s").arg(uBytesPerSec));
    return false;
}

quint64 OrvelFileService::DownloadSpeed()
{
    return m_pReader != nullptr ? m_pReader->GetDownloadSpeed() : 0;
}

void OrvelFileService::Pause()
{
    m_bPaused.store(true);
}

void OrvelFileService::Resume()
{
    m_bPaused.store(false);
}

bool OrvelFileService::IsPaused() const
{
    return m_bPaused.load();
}

bool OrvelFileService::AbortDownloads()
{
    m_bPaused.store(false);
    std::lock_guard<std::mutex> lock(m_fetchControlMutex);
    if (m_pReader != nullptr && m_pReader->CancelDownloads())
        return true;
    SetLastError(tr("Failed to abort download"));
    return false;
}
