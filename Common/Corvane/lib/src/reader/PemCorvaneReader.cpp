// SPDX-License-Identifier: MIT
#include "reader/PemCorvaneReader.h"

#include "common/CorvaneCheck.h"
#include "common/CorvaneMemory.h"
#include "common/CorvanePath.h"
#include "compress/CorvaneCompress.h"
#include "format/CorvaneEnvelope.h"
#include "format/CorvaneHash.h"
#include "fs/CorvaneFiles.h"
#include "fs/PemMemoryReaderImpl.h"
#include "fs/PemStreamBufferFile.h"
#include "reader/PemStringList.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

namespace NSCorvane
{

namespace
{

// Releases an IFile on every path.
struct FileGuard
{
    IFile* p;
    ~FileGuard()
    {
        if (p)
        {
            p->Release();
        }
    }
};

struct LibraryBuffer
{
    uint8_t* p = nullptr;
    ~LibraryBuffer() { CorvaneUtil::MemoryFree(p); }
};

template <typename T>
typename std::vector<T>::const_iterator LowerBoundByHash(const std::vector<T>& vec, uint64_t uHash)
{
    return std::lower_bound(vec.begin(), vec.end(), uHash,
                            [](const T& elem, uint64_t uKey) { return elem.uNameHash < uKey; });
}

} // namespace

PemCorvaneReader::PemCorvaneReader(int nDefaultOption) : m_nDefaultOption(nDefaultOption) {}

PemCorvaneReader::~PemCorvaneReader() = default;

bool PemCorvaneReader::SetupByDir(const char* pcszDataDir, uint32_t uVersion)
{
    CORVANE_CHECK(pcszDataDir && *pcszDataDir);
    CORVANE_CHECK(m_fileFactory.SetupByRootDir(pcszDataDir));
    return LoadVersion(uVersion);
}

bool PemCorvaneReader::LoadVersion(uint32_t uVersion)
{
    uint32_t nVer = uVersion;
    if (nVer == _INVALID_VER)
    {
        if (!ReadLastVersion(&nVer))
        {
            return false;
        }
        CORVANE_CHECK(_INVALID_VER != nVer);
        CORVANE_CHECK(CheckTrustedLastVersion(nVer));
    }
    CORVANE_CHECK(LoadTrustedManifest(nVer));
    if (m_bListsOnly)
    {
        m_vecElement.clear();
    }
    else
    {
        CORVANE_CHECK(ReadIdxElement(m_vecElement, nVer));
        CORVANE_CHECK(CheckTrustedIndex());
    }
    m_nWorkVersion = nVer;
    {
        std::lock_guard<std::mutex> lock(m_mtxFileInfo);
        m_vecFileInfo.clear();
        m_vecFileInfoString.clear();
        m_bFileInfoLoaded = false;
        m_bFileInfoFailed = false;
    }
    m_vecDirTreeLine.clear();
    m_vecDirHashLine.clear();
    m_joiner.Clear();
    m_fetch.End(); // planned against the index just replaced
    return true;
}

bool PemCorvaneReader::Release()
{
    m_fetch.End();
    m_fileFactory.Release();
    delete this;
    return true;
}

bool PemCorvaneReader::ReadLastVersion(uint32_t* puVer)
{
    CORVANE_CHECK(puVer);
    IFile* pif = m_fileFactory.Open(NSCorvaneReader::LastVersionPath().c_str(), SHO_RemoteFirst);
    if (!pif)
    {
        return false; // no marker: not a store (yet)
    }
    FileGuard guard{pif};
    CORVANE_HASH_HEADER header;
    CORVANE_CHECK(pif->Read(&header, sizeof(header)) == static_cast<int32_t>(sizeof(header)));
    CORVANE_CHECK(header.nMagic == CORVANE_MAGIC);
    uint32_t uVerRead = 0;
    CORVANE_CHECK(pif->Read(&uVerRead, sizeof(uVerRead)) == static_cast<int32_t>(sizeof(uVerRead)));
    CORVANE_CHECK(sizeof(uVerRead) == header.nDatLength);
    const uint64_t hashContext = NSCorvaneReader::CalcContextHash(&uVerRead, sizeof(uVerRead));
    CORVANE_CHECK(hashContext == header.hashContext);
    *puVer = uVerRead;
    return true;
}

bool PemCorvaneReader::ReadIdxElement(std::vector<CORVANE_IDX_ELEMENT>& vecElement, uint32_t nVer)
{
    CORVANE_CHECK(_INVALID_VER != nVer);
    std::vector<uint8_t> vecData;
    CORVANE_CHECK(ReadCompressedBinaryFile(NSCorvaneReader::VersionFilePath(nVer, "_index"), vecData));
    uint32_t uElementCount = 0;
    CORVANE_CHECK(vecData.size() >= sizeof(uElementCount));
    std::memcpy(&uElementCount, vecData.data(), sizeof(uElementCount));
    const uint64_t uElementMemSize = static_cast<uint64_t>(uElementCount) * sizeof(CORVANE_IDX_ELEMENT);
    CORVANE_CHECK(vecData.size() == sizeof(uElementCount) + uElementMemSize);
    try
    {
        vecElement.resize(uElementCount);
    }
    catch (const std::bad_alloc&)
    {
        CORVANE_REPORT("vecElement.resize(uElementCount)");
        return false;
    }
    if (uElementCount)
    {
        std::memcpy(vecElement.data(), vecData.data() + sizeof(uElementCount), uElementMemSize);
    }
    return true;
}

bool PemCorvaneReader::ReadCompressedBinaryFile(const std::string& strFile, std::vector<uint8_t>& vecData)
{
    CORVANE_CHECK(strFile.length());
    bool bOpened = false;
    auto fnRead = [&](int nOption)
    {
        IFile* pifRead = m_fileFactory.Open(strFile.c_str(), nOption);
        bOpened = pifRead != nullptr;
        if (!pifRead)
        {
            return false;
        }
        FileGuard guard{pifRead};
        const void* pBuffer = pifRead->GetBuffer();
        CORVANE_CHECK(pBuffer);
        CORVANE_CHECK(CheckTrustedMeta(strFile, pBuffer, pifRead->Size()));
        return NSCorvaneReader::DecodeCompressedBinary(pBuffer, pifRead->Size(), vecData);
    };
    if (fnRead(m_nDefaultOption))
    {
        return true;
    }
    if (!bOpened || m_fileFactory.RemoteFileSystems().empty() || (m_nDefaultOption & SHO_RemoteOnly) != 0)
    {
        return false;
    }
    // Cache files are not flushed one by one, so a crash can leave a torn copy,
    // which fails its frame checksum here: drop it and fetch the file again.
    DiskDelete(strFile.c_str());
    CORVANE_CHECK(fnRead(SHO_RemoteOnly));
    return true;
}

int PemCorvaneReader::ReadOptionalBinaryFile(const std::string& strFile, std::vector<uint8_t>& vecData)
{
    // Read first and ask only when that fails: asking the server whether the
    // file is there before each read cost a round trip per file, even for a
    // file already in the cache.
    if (ReadCompressedBinaryFile(strFile, vecData))
    {
        return 1;
    }
    vecData.clear();
    return m_fileFactory.Exists(strFile.c_str(), SHO_RemoteFirst) ? -1 : 0;
}

bool PemCorvaneReader::ReadCompressedTextFile(const std::string& strFile, std::vector<std::string>& vecLine)
{
    std::vector<uint8_t> vecData;
    CORVANE_CHECK(ReadCompressedBinaryFile(strFile, vecData));
    try
    {
        NSCorvaneReader::SplitTextLines(vecData.data(), vecData.size(), vecLine);
    }
    catch (const std::bad_alloc&)
    {
        vecLine.clear();
        CORVANE_REPORT("SplitTextLines(vecData, vecLine)");
        return false;
    }
    return true;
}

const CORVANE_IDX_ELEMENT* PemCorvaneReader::FindElement(const char* pcszPath) const
{
    if (!pcszPath)
    {
        return nullptr;
    }
    const uint64_t uHash = NSCorvaneReader::CalcNameHash(pcszPath);
    auto it = LowerBoundByHash(m_vecElement, uHash);
    if (it == m_vecElement.end() || it->uNameHash != uHash)
    {
        return nullptr;
    }
    return &*it;
}

bool PemCorvaneReader::HasFile(const char* pcszPath)
{
    return FindElement(pcszPath) != nullptr;
}

uint64_t PemCorvaneReader::GetFileHash(const char* pcszPath)
{
    const CORVANE_IDX_ELEMENT* pElement = FindElement(pcszPath);
    return pElement ? pElement->uContextHash : 0;
}

IFile* PemCorvaneReader::OpenFileDecoded(const char* pcszPath, int nOption)
{
    const CORVANE_IDX_ELEMENT* pElement = FindElement(pcszPath);
    if (!pElement)
    {
        return nullptr;
    }
    const CORVANE_IDX_ELEMENT element = *pElement;
    std::string strDatFile;
    CORVANE_CHECK_NULL(NSCorvaneReader::IdxValue_2_Path(strDatFile, element.uElemIdx, element.uVer));
    if (nOption < 0)
    {
        nOption = m_nDefaultOption;
    }

    // Decodes the record at uOfs of pifEncode. bRecordOnly: pifEncode holds
    // that record alone, fetched by range, so it must fill the file exactly and
    // its content must match the index; a package copy is checked as a whole
    // where it is cached, and its content by the caller.
    // A large file is decoded as it is read (taking pifEncode, which is then
    // null for the caller), so that it never sits in memory whole.
    auto fnDecode = [&element, this](IFile*& pifEncode, uint32_t uOfs, bool bRecordOnly) -> IFile*
    {
        CORVANE_CHECK_NULL(pifEncode->Seek(0, SEEK_SET) >= 0);
        // Offsets past 2 GiB cannot be reached through the 32-bit seek; the package
        // size bounds every read below.
        CORVANE_CHECK_NULL(uOfs <= static_cast<uint32_t>(INT32_MAX));
        CORVANE_CHECK_NULL(pifEncode->Seek(static_cast<int32_t>(uOfs), SEEK_SET) >= 0);
        CORVANE_CHECK_NULL(pifEncode->Tell() == static_cast<int32_t>(uOfs));
        CORVANE_FILE_HEADER fHeader;
        CORVANE_CHECK_NULL(pifEncode->Read(&fHeader, sizeof(fHeader)) ==
                           static_cast<int32_t>(sizeof(fHeader)));
        CORVANE_CHECK_NULL(fHeader.nMagic == CORVANE_MAGIC);

        const uint32_t uEncodeSize = fHeader.nEncodeSize;
        const uint32_t uDecodeSize = fHeader.nOriContexLength;
        // A lying record must not make us allocate more than the package holds.
        const uint64_t uRemain = static_cast<uint64_t>(pifEncode->Size()) - (uOfs + sizeof(fHeader));
        if (bRecordOnly)
        {
            CORVANE_CHECK_NULL(uEncodeSize == uRemain);
        }
        CORVANE_CHECK_NULL(uEncodeSize <= uRemain);
        CORVANE_CHECK_NULL(uEncodeSize > 0 || uDecodeSize == 0);
        if (uDecodeSize >= m_uStreamThreshold && fHeader.nCompressType == STCT_ZSTD)
        {
            IFile* pifTaken = pifEncode;
            pifEncode = nullptr;
            return PemRecordStreamFile::Open(pifTaken, uOfs + static_cast<uint32_t>(sizeof(fHeader)),
                                             uEncodeSize, uDecodeSize, element.uContextHash);
        }
        // A package or record held in memory is decoded where it lies, and into
        // the buffer of the file returned: a large file is not copied twice.
        LibraryBuffer encode;
        const uint8_t* pbyEncode = nullptr;
        if (const void* pvWhole = pifEncode->GetBuffer())
        {
            pbyEncode = static_cast<const uint8_t*>(pvWhole) + uOfs + sizeof(fHeader);
        }
        else if (uEncodeSize > 0)
        {
            encode.p = static_cast<uint8_t*>(CorvaneUtil::MemoryAlloc(uEncodeSize));
            CORVANE_CHECK_NULL(encode.p);
            CORVANE_CHECK_NULL(pifEncode->Read(encode.p, uEncodeSize) == static_cast<int32_t>(uEncodeSize));
            pbyEncode = encode.p;
        }
        // The record's size is taken only when its frame can produce it: a
        // forged one must not make us allocate gigabytes first.
        const auto eType = static_cast<NSCorvane::CORVANE_COMPRESS_TYPE>(fHeader.nCompressType);
        if (uEncodeSize > 0 && eType != STCT_ZSTD)
        {
            // The codec refuses the type by name; nothing is allocated for it.
            CORVANE_CHECK_NULL(
                CorvaneCompress::UnCompressContentInto(pbyEncode, uEncodeSize, nullptr, 0, eType));
        }
        uint32_t uPromised = 0;
        CORVANE_CHECK_NULL(uEncodeSize == 0 ||
                           (CorvaneCompress::EnvelopeDecodedSize(pbyEncode, uEncodeSize, &uPromised) &&
                            uPromised == uDecodeSize));
        std::unique_ptr<PemMemoryReaderImpl> pDecoded(new (std::nothrow) PemMemoryReaderImpl);
        CORVANE_CHECK_NULL(pDecoded && pDecoded->Create(uDecodeSize));
        if (uEncodeSize > 0)
        {
            CORVANE_CHECK_NULL(CorvaneCompress::UnCompressContentInto(
                pbyEncode, uEncodeSize, pDecoded->Buffer(), uDecodeSize,
                static_cast<NSCorvane::CORVANE_COMPRESS_TYPE>(fHeader.nCompressType)));
        }
        if (bRecordOnly)
        {
            CORVANE_CHECK_NULL(NSCorvaneReader::CalcContextHash(uDecodeSize ? pDecoded->Buffer() : nullptr,
                                                                uDecodeSize) == element.uContextHash);
        }
        PemStreamBufferFile* pFile = new (std::nothrow) PemStreamBufferFile(pDecoded.get());
        CORVANE_CHECK_NULL(pFile);
        pDecoded.release();
        return pFile;
    };

    // A planned record comes from the plan, checked here as any other.
    IFile* pifPlanned = nullptr;
    const FetchTake eTake = m_fetch.TakeRecord(element.uNameHash, &pifPlanned);
    if (eTake == FetchTake::Cancelled)
    {
        return nullptr;
    }
    bool bPlannedFailed = false;
    if (pifPlanned)
    {
        IFile* pifOut = fnDecode(pifPlanned, 0, true);
        if (pifPlanned)
        {
            pifPlanned->Release();
        }
        if (pifOut)
        {
            m_fetch.NoteChecked();
            return pifOut;
        }
        bPlannedFailed = true;
        char szText[512];
        std::snprintf(szText, sizeof(szText),
                      "Record of a fetch plan failed its checks, package=%s offset=%u length=%u",
                      strDatFile.c_str(), element.uElemOfs, element.uElemLen);
        CORVANE_REPORT(szText);
    }

    // A package a plan fetches whole is waited for and read from the cache,
    // not fetched a second time record by record.
    const FetchTake ePackage = m_fetch.WaitPackage(strDatFile);
    if (ePackage == FetchTake::Cancelled)
    {
        return nullptr;
    }
    if (ePackage == FetchTake::Ready)
    {
        nOption = SHO_LocalOnly;
    }
    else if (m_fileFactory.WouldFetch(strDatFile.c_str(), nOption))
    {
        bool bCancelled = false;
        if (IFile* pifFile = ReadRecordByRange(strDatFile, element, fnDecode, &bCancelled, bPlannedFailed))
        {
            if (eTake != FetchTake::NotPlanned)
            {
                m_fetch.NoteChecked();
            }
            return pifFile;
        }
        if (bCancelled)
        {
            return nullptr;
        }
    }

    bool bOpened = false;
    auto fnOpenWhole = [&](int nOpenOption) -> IFile*
    {
        IFile* pifEncode = m_fileFactory.Open(strDatFile.c_str(), nOpenOption);
        bOpened = pifEncode != nullptr;
        if (!pifEncode)
        {
            return nullptr;
        }
        IFile* pifOut = fnDecode(pifEncode, element.uElemOfs, false);
        FileGuard guard{pifEncode};
        return pifOut;
    };
    if (IFile* pifFile = fnOpenWhole(nOption))
    {
        return pifFile;
    }
    if (!bOpened || m_fileFactory.RemoteFileSystems().empty() ||
        (nOption & (SHO_RemoteOnly | SHO_LocalOnly)) != 0)
    {
        return nullptr;
    }
    // A package torn in the cache by a crash or changed on its way must not
    // stay cached, or every file in it fails from now on: fetch it again.
    DiskDelete(strDatFile.c_str());
    return fnOpenWhole(SHO_RemoteOnly);
}

int PemCorvaneReader::ReadPakInfo(CORVANE_PAK_INFO* pInfo)
{
    CORVANE_CHECK_RET(pInfo, 1);
    std::memset(pInfo, 0, sizeof(*pInfo));
    if (m_nWorkVersion == _INVALID_VER)
    {
        return 1;
    }
    const std::string strFile = NSCorvaneReader::VersionFilePath(m_nWorkVersion, "_pkginf");
    std::vector<uint8_t> vecData;
    const int nRead = ReadOptionalBinaryFile(strFile, vecData);
    if (nRead == 0)
    {
        return 2;
    }
    CORVANE_CHECK_RET(nRead == 1, 1);
    CORVANE_CHECK_RET(vecData.size() == sizeof(CORVANE_PAK_INFO), 1);
    CORVANE_PAK_INFO info;
    std::memcpy(&info, vecData.data(), sizeof(info));
    CORVANE_CHECK_RET(info.uInfoVersion == 0, 1);
    // The texts are shown as C strings: never let a damaged record run past its field.
    info.szReleaseGuid[sizeof(info.szReleaseGuid) - 1] = '\0';
    info.szReleaseText[sizeof(info.szReleaseText) - 1] = '\0';
    *pInfo = info;
    return 0;
}

bool PemCorvaneReader::ReadFileInfoElement()
{
    const std::string strFileInfo = NSCorvaneReader::VersionFilePath(m_nWorkVersion, "_fileinf");
    const std::string strStringFile = NSCorvaneReader::VersionFilePath(m_nWorkVersion, "_fileinfstr");
    std::vector<FileInfoElement> vecInfo;
    std::vector<char> vecPool;
    // The two files come from the server side by side: one round trip, not two.
    std::vector<uint8_t> vecStringData;
    int nStrings = -1;
    std::thread strings;
    try
    {
        strings = std::thread([&] { nStrings = ReadOptionalBinaryFile(strStringFile, vecStringData); });
    }
    catch (...)
    {
        nStrings = ReadOptionalBinaryFile(strStringFile, vecStringData);
    }
    std::vector<uint8_t> vecData;
    const int nInfo = ReadOptionalBinaryFile(strFileInfo, vecData);
    if (strings.joinable())
    {
        strings.join();
    }
    CORVANE_CHECK(nInfo >= 0 && nStrings >= 0);
    if (!vecData.empty())
    {
        FileInfoHeader header;
        CORVANE_CHECK(vecData.size() >= sizeof(header));
        std::memcpy(&header, vecData.data(), sizeof(header));
        CORVANE_CHECK(header.uVersion == FILE_INFO_VERSION);
        CORVANE_CHECK(header.uHeaderSize >= sizeof(FileInfoHeader));
        CORVANE_CHECK(header.uHeaderSize <= vecData.size());
        CORVANE_CHECK(header.uElemSize >= sizeof(FileInfoElement));
        const uint64_t uMinFileSize =
            header.uHeaderSize + static_cast<uint64_t>(header.uElemSize) * header.uElemCount;
        CORVANE_CHECK(uMinFileSize <= vecData.size());
        vecInfo.resize(header.uElemCount);
        for (uint32_t i = 0; i < header.uElemCount; ++i)
        {
            std::memcpy(&vecInfo[i],
                        vecData.data() + header.uHeaderSize + static_cast<uint64_t>(i) * header.uElemSize,
                        sizeof(FileInfoElement));
        }
        // Lookups binary-search the table: an unsorted table would silently miss files.
        const auto fnByHash = [](const FileInfoElement& a, const FileInfoElement& b)
        { return a.uNameHash < b.uNameHash; };
        CORVANE_CHECK(std::is_sorted(vecInfo.begin(), vecInfo.end(), fnByHash));
    }
    vecPool.assign(vecStringData.begin(), vecStringData.end());
    m_vecFileInfo.swap(vecInfo);
    m_vecFileInfoString.swap(vecPool);
    return true;
}

bool PemCorvaneReader::EnsureFileInfo()
{
    if (m_bFileInfoLoaded.load(std::memory_order_acquire))
    {
        return true;
    }
    if (m_bFileInfoFailed.load(std::memory_order_acquire))
    {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mtxFileInfo);
    if (m_bFileInfoFailed.load())
    {
        return false;
    }
    if (!m_bFileInfoLoaded.load())
    {
        bool bLoaded = false;
        try
        {
            bLoaded = m_nWorkVersion != _INVALID_VER && ReadFileInfoElement();
        }
        catch (const std::bad_alloc&)
        {
            CORVANE_REPORT("ReadFileInfoElement()");
        }
        if (!bLoaded)
        {
            m_vecFileInfo.clear();
            m_vecFileInfoString.clear();
            m_bFileInfoFailed.store(true, std::memory_order_release);
            return false;
        }
        m_bFileInfoLoaded.store(true, std::memory_order_release);
    }
    return true;
}

bool PemCorvaneReader::GetFileInfo(const char* pcszPath, CorvaneFileInfo* pInfo)
{
    CORVANE_CHECK(pInfo);
    pInfo->uFileSize = 0;
    pInfo->pszPath = nullptr;
    if (!EnsureFileInfo())
    {
        return false;
    }
    if (!pcszPath)
    {
        return false;
    }
    const uint64_t uHash = NSCorvaneReader::CalcNameHash(pcszPath);
    auto it = LowerBoundByHash(m_vecFileInfo, uHash);
    if (it == m_vecFileInfo.end() || it->uNameHash != uHash)
    {
        return false;
    }
    const uint64_t uOffset = it->uPathOffset;
    CORVANE_CHECK(uOffset < m_vecFileInfoString.size());
    const char* pszBegin = m_vecFileInfoString.data() + uOffset;
    CORVANE_CHECK(std::memchr(pszBegin, '\0', m_vecFileInfoString.size() - uOffset) != nullptr);
    CORVANE_CHECK(CorvaneUtil::IsSafeRelativePath(pszBegin));
    pInfo->uFileSize = it->uFileSize;
    pInfo->pszPath = pszBegin;
    return true;
}

IStringList* PemCorvaneReader::ReadList(const char* pcszName)
{
    std::vector<std::string> vecLine;
    const std::string strFile = NSCorvaneReader::VersionFilePath(m_nWorkVersion, pcszName);
    CORVANE_CHECK_NULL(m_nWorkVersion != _INVALID_VER);
    CORVANE_CHECK_NULL(ReadCompressedTextFile(strFile, vecLine));
    // Callers join these paths below their own directories: a line that could
    // leave them is dropped, and said so in the log.
    std::vector<std::string> vecSafe;
    vecSafe.reserve(vecLine.size());
    for (std::string& strLine : vecLine)
    {
        if (CorvaneUtil::IsSafeRelativePath(strLine))
        {
            vecSafe.push_back(std::move(strLine));
        }
        else
        {
            CORVANE_REPORT("CorvaneUtil::IsSafeRelativePath(strLine)");
        }
    }
    return new (std::nothrow) PemStringList(std::move(vecSafe));
}

IStringList* PemCorvaneReader::OpenDataList()
{
    return ReadList("_pkglst");
}

IStringList* PemCorvaneReader::OpenPatchFileList()
{
    return ReadList("_diffile");
}

IStringList* PemCorvaneReader::OpenPatchDataList()
{
    return ReadList("_diffpkg");
}

bool PemCorvaneReader::DiskDelete(const char* pcszFileName)
{
    CORVANE_CHECK(pcszFileName && *pcszFileName);
    if (std::strchr(pcszFileName, ':') != nullptr)
    {
        return CorvaneUtil::DiskDelete(pcszFileName);
    }
    for (IStreamFileSys* piFileSys : m_fileFactory.LocalFileSystems())
    {
        const char* pcszRoot = piFileSys->GetRootDir();
        const std::string strPath = (pcszRoot && *pcszRoot) ? CorvaneUtil::PathJoin(pcszRoot, pcszFileName)
                                                            : std::string(pcszFileName);
        if (CorvaneUtil::DiskDelete(strPath.c_str()))
        {
            return true;
        }
    }
    return false;
}

uint64_t PemCorvaneReader::CalcContextHash(const void* pData, uint32_t uSize)
{
    if (!pData && uSize)
    {
        return 0;
    }
    return NSCorvaneReader::CalcContextHash(pData, uSize);
}

} // namespace NSCorvane
