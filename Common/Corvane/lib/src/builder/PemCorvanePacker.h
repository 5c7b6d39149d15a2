// SPDX-License-Identifier: MIT
// The packer behind IPemCorvanePacker: collects the pushed files of a source
// tree and builds one new store version from them.
#pragma once

#include "builder/PackerFileCollect.h"

#include <Corvane/IPemCorvanePacker.h>

#include <memory>
#include <string>
#include <vector>

namespace NSCorvane
{

class PemCorvaneIdxBuilder;
class PemQueueTaskPool;

class PemCorvanePacker final : public IPemCorvanePacker
{
public:
    PemCorvanePacker();
    ~PemCorvanePacker() override;
    PemCorvanePacker(const PemCorvanePacker&) = delete;
    PemCorvanePacker& operator=(const PemCorvanePacker&) = delete;

    void Release() override;
    bool SetEnv(const char* pcszRootDir, const char* pcszExportDir, const CORVANE_PAK_OPTION* pOpt) override;
    bool Push(const char* pcszDir) override;
    bool PushFile(const char* pcszFile) override;
    bool Block(const char* pcszDir) override;
    bool Do() override;

    // For tests and tools inside the library: the builder of the last Do.
    PemCorvaneIdxBuilder* IdxBuilder() { return m_pkIdxBuilder.get(); }

private:
    bool _SetEnv(const char* pcszRootDir, const char* pcszExportDir, const CORVANE_PAK_OPTION* pOpt);
    bool _Push(const char* pcszDir);
    bool _PushFile(const char* pcszFile);
    bool _Block(const char* pcszDir);
    bool _Do();

    std::vector<PackEntry> m_vecPackInfo;
    std::vector<PackerPath> m_vecSingleFiles;
    std::unique_ptr<PemCorvaneIdxBuilder> m_pkIdxBuilder;
    std::unique_ptr<PemQueueTaskPool> m_pTaskPool;
    CORVANE_PAK_OPTION m_pakOpt;
    std::string m_strExportDir;
    PackerPath m_rootDir;
    PackerPath m_exportDir;
    // The files of the last Do. Kept until the packer goes: freeing tens of
    // thousands of paths is time the caller may spend elsewhere, for instance
    // by releasing the packer on a thread of its own.
    std::vector<std::vector<PackerFile>> m_vecAllListFiles;
    bool m_bDone = false;
};

} // namespace NSCorvane
