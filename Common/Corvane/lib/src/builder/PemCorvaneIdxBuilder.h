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

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace NSCorvane
{

// The builder is itself a reader of the store it extends. One thread drives it;
// GetFileElement, SetCachedFileStat and RemoveFileElement may
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
    // Either of the above (uVer _INVALID_VER: no base version) for paths the
    // caller keeps alive during the call: no copy of each path is made.
    // pvecHashOrder, when given, receives each path's name hash with its index
    // in vecPath, in hash order.
    using HashOrder = std::vector<std::pair<uint64_t, size_t>>;
    bool InsertPaths(const std::vector<const std::string*>& vecPath, uint32_t uVer,
                     HashOrder* pvecHashOrder = nullptr);

    bool GetFileElement(uint64_t hsName, CORVANE_IDX_ELEMENT* pElement);
    // The element and, in the same lookup under the lock, its cached stat
    // (*pbHasCached says whether there is one).
    bool GetFileElement(uint64_t hsName, CORVANE_IDX_ELEMENT* pElement, CorvaneFileStat* pCached,
                        bool* pbHasCached);
    // A file the walk found, asked whether its stored copy still stands.
    struct StatQuery
    {
        uint64_t hsName = 0;
        CorvaneFileStat stat;    // as the walk found it
        uint64_t hsContext = 0;  // out: the stored copy's content hash
        bool bUnchanged = false; // out: stored, and the cache vouches for this stat
        uint32_t uTask = 0;      // the caller's
    };
    // Answers every query in one pass under the lock; vecQuery must be sorted
    // by name hash. What GetFileElement and the cache would say one by one.
    void FindUnchanged(std::vector<StatQuery>& vecQuery);
    // Whether a file of this stat need not be read: its element holds a stored
    // copy, the cache saw exactly this stat when it was made, and the file
    // was last written before the cache: a write in the same tick of the
    // clock as the cache's could leave every time as it was.
    bool StoredCopyStands(const CORVANE_IDX_ELEMENT& element, const CorvaneFileStat& cached,
                          const CorvaneFileStat& stat);
    bool SetFileElement(uint64_t hsName, uint64_t hsContext, uint32_t uVer);
    bool SetCachedFileStat(uint64_t hsName, const CorvaneFileStat& stat);
    // The cache vouches for the file no more (it changed while being read).
    void DropCachedFileStat(uint64_t hsName);
    // Before BuildEnv: the cache is not read, so every file is read and hashed.
    void IgnoreFileStatCache() { m_bIgnoreStatCache = true; }

    // Places one record and queues its write. *pbDataPassed tells whether pvData
    // (library memory) went on to the disk allocator, which then frees it, also
    // on failure; when false the caller still owns it.
    bool AllocDiskSpace(const char* pcszExportDir, uint64_t hsName, const CORVANE_FILE_HEADER& fHeader,
                        void* pvData, uint32_t uDataLength, bool* pbDataPassed);
    bool AddPatchFile(uint64_t hsName, const char* pcszPath);
    bool RemoveFileElement(const char* pcszPath);

    // Starts encoding, on a thread of low priority, the lists that the inserted
    // files already decide, so their top-level encoding fills idle time of the
    // compression instead of following it. Output takes such an encoding only
    // for exactly the same bytes. Call after the last InsertList.
    void EncodeEarlyLists(const char* pcszDir);

    // Writes the version; the last-version marker last.
    bool Output(const char* pcszDir);

    // The stat the cache keeps of a file; directories are refused.
    static bool GetDiskFileStat(const char* pcszPath, CorvaneFileStat* pStat);

    // The files of the previous version that the new one lacks: their count,
    // and with pvecPaths their store paths in order (reads the previous
    // version's path list). Call after the last InsertList, before Output.
    uint32_t RemovedFiles(std::vector<std::string>* pvecPaths);

    const std::string& ReleaseGuid() const { return m_strReleaseGuid; }
    uint32_t PackageCount();
    PemCorvaneDiskAlloc* DiskAlloc() { return m_pDiskAlloc.get(); }

private:
    bool _InsertList(const std::vector<const std::string*>& lstPath,
                     const std::vector<CORVANE_IDX_ELEMENT>* pvecBase, HashOrder* pvecHashOrder);
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
    // The encoded file of one list: an early encoding of the same bytes, the
    // previous version's identical file, or a fresh encoding.
    bool _EncodeList(const char* pcszExportDir, ListFile& list);
    bool _IsEarlyList(const std::string& strName) const;
    bool _TakeEarlyEncoding(ListFile& list);
    void _StopEarlyLists();
    // The path pool of the file information, and each path's offset in it, in element order.
    bool _PathPool(std::vector<uint8_t>& vecPool, std::vector<uint32_t>* pvecOffsets);
    static bool _ReusePreviousEncoding(const std::string& strPrevPath, const std::vector<uint8_t>& vecPlain,
                                       std::vector<uint8_t>& vecEncoded);
    bool PublishPackages(const char* pcszExportDir);
    bool _AddDirTreeFile(std::vector<ListFile>& vecLists, const char* pcszDir, uint32_t uVer);
    bool _AddPkgLists(std::vector<ListFile>& vecLists, const char* pcszDir, uint32_t uVer);
    bool _AddPakInfo(std::vector<ListFile>& vecLists, const char* pcszDir, uint32_t uVer);
    bool _AddFileInfo(std::vector<ListFile>& vecLists, const char* pcszDir, uint32_t uVer);
    static void _AddTextLines(std::vector<ListFile>& vecLists, const char* pcszDir, uint32_t uVer,
                              const char* pcszName, const std::set<std::string>& setLines);
    // BuildEnv without the stat cache: the previous version, staging, options.
    bool _OpenBuildEnv(const char* pcszExportDir, const CORVANE_PAK_OPTION& opt);
    std::string _FileStatCacheText();
    bool _WriteFileStatCache(const char* pcszDir, const std::string& strText);

    CORVANE_PAK_OPTION m_pakOpt;
    std::string m_strReleaseGuid;
    std::map<uint64_t, CORVANE_IDX_ELEMENT> m_mapHash2Element;
    std::map<uint64_t, CorvaneFileStat> m_mapHash2FileStat;
    std::vector<uint8_t> m_vecFileStatText; // the cache file as this build found it
    uint64_t m_uStatCacheTime = 0;          // the cache file's write time (ns); files as new are racy
    bool m_bIgnoreStatCache = false;
    std::atomic<bool> m_bRacySeen{false}; // the cache is written anew, so its time moves past them
    std::set<std::string> m_setsElementPath;
    std::map<uint64_t, std::set<std::string>> m_setDirFileRelation;
    // Inserted names that the work version already has: when every name is
    // one of them and none is missing, the tree and path lists stay as they were.
    size_t m_uFromWorkVersion = 0;
    std::mutex m_mtxElement;
    std::set<std::string> m_setPatchFiles;
    std::set<std::string> m_setPatchData;
    std::vector<CORVANE_DISK_PACKAGE_HEADER> m_vecPackage;
    uint32_t m_uFirstOpenPackage = 0;
    std::mutex m_mtxAlloc;
    std::unique_ptr<PemCorvaneDiskAlloc> m_pDiskAlloc;

    // A list encoded early. Whoever moves nState from kEarlyPending to
    // kEarlyTaken encodes it; the early thread, or at the end a thread of
    // Output that would otherwise wait for it.
    enum : int
    {
        kEarlyPending = 0,
        kEarlyTaken = 1,
        kEarlyDone = 2,
    };
    struct EarlyList
    {
        std::string strName;
        std::vector<uint8_t> vecPlain;
        std::vector<uint8_t> vecEncoded;
        std::atomic<int> nState{kEarlyPending};
        bool bEncoded = false; // written before nState becomes kEarlyDone
    };
    std::vector<std::unique_ptr<EarlyList>> m_vecEarly;
    std::thread m_thEarly;
    std::atomic<bool> m_bEarlyStop{false};
    std::mutex m_mtxEarly;
    std::condition_variable m_cvEarly;
};

} // namespace NSCorvane
