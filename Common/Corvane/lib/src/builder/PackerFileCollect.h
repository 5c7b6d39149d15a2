// SPDX-License-Identifier: MIT
// Finding the source files of a build. Two forms of every path are kept: the
// real one, as the file system spells it (Linux is case-sensitive), for opening
// and walking; and the normalised one (lower case, '/') that names the file in
// the store and that every covering and blocking comparison uses.
#pragma once

#include "platform/PlatformFile.h"

#include <set>
#include <string>
#include <vector>

namespace NSCorvane
{

struct PackerPath
{
    std::string strReal; // absolute, lexically normalised, original case
    std::string strNorm; // strReal normalised
};

struct PackEntry
{
    PackerPath dir;
    std::set<std::string> setBlocked; // normalised absolute directories
};

// One source file of the version.
struct PackerFile
{
    std::string strRel;    // normalised path relative to the root: the store path
    std::string strFull;   // real absolute path to read
    bool bHasStat = false; // stat was taken when the directory was listed
    CorvanePlatform::FileStat stat;
};

// Absolute path, "." and ".." resolved, no trailing separator (a root keeps it).
bool MakePackerPath(PackerPath& out, const char* pcszPath);

// True when strDir equals strPath or strPath lies below it (normalised paths).
bool PathCovers(const std::string& strDir, const std::string& strPath);

// Lists of the entry's files: one per directory that holds files, directories in
// ascending order, files ascending within each. Directory links are followed, but
// each real directory is walked once, so a link to an ancestor ends the descent.
// Directories covered by a blocked directory or by strSkipDir (normalised; may
// be empty) are left out. Directories are listed on up to uThreads threads.
bool GetFiles(std::vector<std::vector<PackerFile>>& vecLists, const PackEntry& entry, const PackerPath& root,
              const std::string& strSkipDir, uint32_t uThreads);

} // namespace NSCorvane
