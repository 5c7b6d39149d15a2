// SPDX-License-Identifier: MIT
// The store reader: one version of a package store, reached through its factory.
#pragma once

#include "fetch/PemFetchScheduler.h"
#include "fs/PemFileStreamFactory.h"
#include "net/PemSourceHealth.h"
#include "reader/PemRecordJoiner.h"
#include "reader/PemRecordStreamFile.h"

#include <Corvane/IPemCorvaneReader.h>
#include <Corvane/PemCorvaneX64.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace NSCorvaneTrust
{
class TrustedKeys;
struct SignedRecord;
} // namespace NSCorvaneTrust

namespace NSCorvane
{

class PemCorvaneReader : public IPemCorvaneReader
{
public:
    explicit PemCorvaneReader(int nDefaultOption = SHO_LocalOnly);
    ~PemCorvaneReader() override;

    // Set-up, once, by the exports (or the builder).
    bool SetupByDir(const char* pcszDataDir, uint32_t uVersion);
    // Local cache and remote sources from the JSON configuration file.
    bool SetupByConfig(const char* pcszConfigFile, uint32_t uVersion);

    bool Release() override;
    uint32_t GetWorkVersion() override { return m_nWorkVersion; }
    int ReadPakInfo(CORVANE_PAK_INFO* pInfo) override;
    bool HasFile(const char* pcszPath) override;
    IFile* OpenFile(const char* pcszPath, int nOption) override;
    uint64_t GetFileHash(const char* pcszPath) override;
    bool GetFileInfo(const char* pcszPath, CorvaneFileInfo* pInfo) override;
    IStringList* OpenFileList(const char* pcszDir, bool bRecursive) override;
    IStringList* OpenFileList() override;
    IStringList* OpenDataList() override;
    IStringList* OpenPatchFileList() override;
    IStringList* OpenPatchDataList() override;
    bool SyncDownloadDataFile(const char* pcszDatPath) override;
    uint64_t GetDownloadSpeed() override;
    bool SetLimitSpeed(uint64_t uBytesPerSecond) override;
    bool CancelDownloads() override;
    uint64_t CalcContextHash(const void* pData, uint32_t uSize) override;
    // Signed stores (PemCorvaneReaderTrust.cpp). Before set-up: the keys whose
    // signatures this reader accepts; none keeps the store unchecked.
    void SetTrustedKeys(std::shared_ptr<const NSCorvaneTrust::TrustedKeys> pKeys);
    // Adds the entries of a configuration's "trust" list; false, naming the
    // entry, when one is not a public key.
    bool AddConfiguredKeys(const std::vector<std::string>& vecEntries);
    // The checked manifest of the version, null without trusted keys.
    const NSCorvaneTrust::SignedRecord* TrustedManifest() const { return m_pManifest.get(); }
    // What every remote source of this reader fetched so far.
    void AddTransferCounts(CORVANE_TRANSFER_COUNTS& counts);
    // A task's file list (or packages, CORVANE_FETCH_WHOLE_PACKAGES) to fetch
    // at once; as g_PlanCorvaneFetch.
    bool PlanFetch(const char* const* ppszPaths, uint32_t uCount, uint32_t uFlags);
    PemFetchScheduler& Fetch() { return m_fetch; }

    // Store access shared with the builder.
    bool ReadLastVersion(uint32_t* puVer);
    bool ReadIdxElement(std::vector<CORVANE_IDX_ELEMENT>& vecElement, uint32_t uVer);
    bool ReadCompressedBinaryFile(const std::string& strFile, std::vector<uint8_t>& vecData);
    bool ReadCompressedTextFile(const std::string& strFile, std::vector<std::string>& vecLine);
    // A metadata file a store may lack: 1 read, 0 not in the store, -1 failed.
    int ReadOptionalBinaryFile(const std::string& strFile, std::vector<uint8_t>& vecData);
    bool DiskDelete(const char* pcszFileName);

    // The element of a path, or null.
    const CORVANE_IDX_ELEMENT* FindElement(const char* pcszPath) const;
    const std::vector<CORVANE_IDX_ELEMENT>& Elements() const { return m_vecElement; }
    PemFileStreamFactory& Factory() { return m_fileFactory; }
    // Which remote sources this reader still asks in the current task; source
    // i is Factory().Downloaders()[i]. Reset() it when a new task begins.
    PemSourceHealth& SourceHealth() { return m_sourceHealth; }
    const PemRecordJoiner& Joiner() const { return m_joiner; }
    int DefaultOption() const { return m_nDefaultOption; }
    // Before setup: the version's lists only, its index is never read.
    void SetListsOnly() { m_bListsOnly = true; }
    // Files at least this large are decoded as they are read (tests lower it).
    void SetStreamThreshold(uint32_t uBytes) { m_uStreamThreshold = uBytes; }

protected:
    // Loads the index of uVersion (the latest for _INVALID_VER) and resets caches.
    // A reader of lists only leaves the index empty: its files are not found.
    bool LoadVersion(uint32_t uVersion);
    bool ReadFileInfoElement();
    // Loads the file info tables once; false (for good) when that failed.
    bool EnsureFileInfo();
    // The decoded file, checked against the index only; OpenFile adds the
    // manifest's check where keys are trusted.
    IFile* OpenFileDecoded(const char* pcszPath, int nOption);
    // With trusted keys: the version's manifest fetched and checked before
    // anything else of the version is read; without, one log line.
    bool LoadTrustedManifest(uint32_t uVersion);
    bool CheckTrustedMeta(const std::string& strFile, const void* pData, uint64_t uSize);
    bool CheckTrustedLastVersion(uint32_t uVersion);
    // The manifest names exactly the files of the index just read.
    bool CheckTrustedIndex();
    bool EnsureDirTreeCache();
    IStringList* ReadList(const char* pcszName);
    // The record of element read by range from the remote sources and decoded
    // by fnDecode(record file, 0, true), which checks it fully. A record that
    // fails is never returned: it is read once more, then null tells the caller
    // to read the whole package; each failure is logged with package and
    // offset. Null with *pbCancelled set when the download was cancelled.
    // bOnceMore: a copy from the fetch plan failed its checks; one more read.
    IFile* ReadRecordByRange(const std::string& strDatFile, const CORVANE_IDX_ELEMENT& element,
                             const std::function<IFile*(IFile*&, uint32_t, bool)>& fnDecode,
                             bool* pbCancelled, bool bOnceMore = false);

    std::vector<CORVANE_IDX_ELEMENT> m_vecElement;
    std::vector<FileInfoElement> m_vecFileInfo;
    std::vector<char> m_vecFileInfoString;
    std::mutex m_mtxFileInfo;
    std::atomic<bool> m_bFileInfoLoaded{false};
    std::atomic<bool> m_bFileInfoFailed{false};
    uint32_t m_nWorkVersion = _INVALID_VER;
    std::vector<std::string> m_vecDirTreeLine;
    std::vector<std::pair<uint64_t, uint64_t>> m_vecDirHashLine;
    PemSourceHealth m_sourceHealth; // outlives the factory's downloaders, which report to it
    PemFileStreamFactory m_fileFactory;
    PemRecordJoiner m_joiner;
    int m_nDefaultOption;
    bool m_bListsOnly = false;
    uint32_t m_uStreamThreshold = PemRecordStreamFile::kDefaultThreshold;
    std::shared_ptr<const NSCorvaneTrust::TrustedKeys> m_pTrustedKeys;
    std::shared_ptr<const NSCorvaneTrust::SignedRecord> m_pManifest;
    // Declared after the factory: ended before the sources it uses go.
    PemFetchScheduler m_fetch;
};

} // namespace NSCorvane
