// SPDX-License-Identifier: MIT
// Finding the source files of a build. Two forms of every path are kept: the
// real one, as the file system spells it (Linux is case-sensitive), for opening
// and walking; and the normalised one (lower case, '/') that names the file in
// the store and that every covering and blocking comparison uses.
#pragma once

#include "platform/PlatformDirectory.h"
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
    bool bLink = false;    // a symbolic link to a file: packed as the file's content
    CorvanePlatform::FileStat stat;
};

// An entry of the tree that is neither a file nor a directory.
struct PackerOddEntry
{
    std::string strRel;
    std::string strFull;
    CorvanePlatform::OtherKind eKind = CorvanePlatform::OtherKind::None;
};

// What a walk found besides the files.
struct PackerWalkExtras
{
    std::vector<PackerOddEntry> vecOdd;                 // in path order
    std::vector<CorvanePlatform::FileIdentity> vecDirs; // every directory walked
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
// Links to files come as files (bLink); every other entry that is neither a
// file nor a directory goes to extras.vecOdd.
bool GetFiles(std::vector<std::vector<PackerFile>>& vecLists, const PackEntry& entry, const PackerPath& root,
              const std::string& strSkipDir, uint32_t uThreads, PackerWalkExtras& extras);

} // namespace NSCorvane
