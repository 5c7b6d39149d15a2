// SPDX-License-Identifier: MIT
// Collects the index element of every file of one new store version, places
// newly stored records into data packages, and writes the whole version: the
// packages (verified, then published by rename), the index and every list, and
// last the last-version marker that makes the version visible.
#pragma once

#include "builder/CorvaneFileStatCache.h"
#include "builder/PemCorvaneDiskAlloc.h"
#include "builder/PemCorvaneWriter.h"

#include <Corvane/IPemCorvanePacker.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace NSCorvane
{

// The builder is itself a reader of the store it extends. One thread drives it;
// GetFileElement, SetCachedFileStat, GetCachedFileStat and RemoveFileElement may
// also be called by compression workers. Failures write one error-log record.
class PemCorvaneIdxBuilder : public PemCorvaneWriter
{
public:
    PemCorvaneIdxBuilder();
    ~PemCorvaneIdxBuilder() override;

    // Opens the export directory's store (none yet: first build), clears the
    // staging root, creates the release GUID, starts the write lanes and loads
    // the file stat cache.
    bool BuildEnv(const char* pcszExportDir, const CORVANE_PAK_OPTION& opt);
    // Clears everything of a previous run except the file stat cache.
    bool ResetRun();

    // Adds the files of one list (normalised relative paths). The variant with a
    // version carries that version's elements of the same names forward.
    bool InsertList(const std::vector<std::string>& lstPath);
    bool InsertList(const std::vector<std::string>& lstPath, uint32_t uVer);

    bool GetFileElement(uint64_t hsName, CORVANE_IDX_ELEMENT* pElement);
    bool SetFileElement(uint64_t hsName, uint64_t hsContext, uint32_t uVer);
    bool GetCachedFileStat(uint64_t hsName, CorvaneFileStat* pStat);
    bool SetCachedFileStat(uint64_t hsName, const CorvaneFileStat& stat);

    // Places one record and queues its write. *pbDataPassed tells whether pvData
    // (library memory) went on to the disk allocator, which then frees it, also
    // on failure; when false the caller still owns it.
    bool AllocDiskSpace(const char* pcszExportDir, uint64_t hsName, const CORVANE_FILE_HEADER& fHeader,
                        void* pvData, uint32_t uDataLength, bool* pbDataPassed);
    bool AddPatchFile(uint64_t hsName, const char* pcszPath);
    bool RemoveFileElement(const char* pcszPath);

    // Writes the version; the last-version marker last.
    bool Output(const char* pcszDir);

    // Size and last write time (ns) of a file; directories are refused.
    static bool GetDiskFileStat(const char* pcszPath, CorvaneFileStat* pStat);

    const std::string& ReleaseGuid() const { return m_strReleaseGuid; }
    uint32_t PackageCount();
    PemCorvaneDiskAlloc* DiskAlloc() { return m_pDiskAlloc.get(); }

private:
    bool _InsertList(const std::vector<std::string>& lstPath,
                     const std::vector<CORVANE_IDX_ELEMENT>* pvecBase);
    bool _SetElementPlace(uint64_t hsName, uint32_t uFileIdx, uint32_t uFileOfs, uint32_t uRequestSize);
    // One index or list file of the version: its plain bytes, and the encoded
    // file written once every package is published.
    struct ListFile
    {
        std::string strName; // "_index", "_dirtree", ...
        std::string strPath;
        std::vector<uint8_t> vecPlain;
        std::vector<uint8_t> vecEncoded;
    };
    // Completes and verifies every staged package and encodes every list (or
    // takes the previous version's identical file), on up to nTreadCount
    // threads; publishes nothing.
    bool _FinishPackagesAndLists(const char* pcszExportDir, std::vector<ListFile>& vecLists);
    // The encoded file of one list: the previous version's identical file, or
    // a fresh encoding.
    bool _EncodeList(const char* pcszExportDir, ListFile& list);
    static bool _ReusePreviousEncoding(const std::string& strPrevPath, const std::vector<uint8_t>& vecPlain,
                                       std::vector<uint8_t>& vecEncoded);
    bool PublishPackages(const char* pcszExportDir);
    bool _AddDirTreeFile(std::vector<ListFile>& vecLists, const char* pcszDir, uint32_t uVer);
    bool _AddPkgLists(std::vector<ListFile>& vecLists, const char* pcszDir, uint32_t uVer);
    bool _AddPakInfo(std::vector<ListFile>& vecLists, const char* pcszDir, uint32_t uVer);
    bool _AddFileInfo(std::vector<ListFile>& vecLists, const char* pcszDir, uint32_t uVer);
    static void _AddTextLines(std::vector<ListFile>& vecLists, const char* pcszDir, uint32_t uVer,
                              const char* pcszName, const std::set<std::string>& setLines);
    bool _WriteFileStatCache(const char* pcszDir);

    CORVANE_PAK_OPTION m_pakOpt;
    std::string m_strReleaseGuid;
    std::map<uint64_t, CORVANE_IDX_ELEMENT> m_mapHash2Element;
    std::map<uint64_t, CorvaneFileStat> m_mapHash2FileStat;
    std::set<std::string> m_setsElementPath;
    std::map<uint64_t, std::set<std::string>> m_setDirFileRelation;
    std::mutex m_mtxElement;
    std::set<std::string> m_setPatchFiles;
    std::set<std::string> m_setPatchData;
    std::vector<CORVANE_DISK_PACKAGE_HEADER> m_vecPackage;
    uint32_t m_uFirstOpenPackage = 0;
    std::mutex m_mtxAlloc;
    std::unique_ptr<PemCorvaneDiskAlloc> m_pDiskAlloc;
};

} // namespace NSCorvane
