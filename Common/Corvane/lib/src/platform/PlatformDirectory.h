// SPDX-License-Identifier: MIT
// Listing one directory with what a tree walk needs of each entry, in as few
// system calls as the platform allows.
#pragma once

#include "platform/PlatformFile.h"
#include "platform/PlatformFileIdentity.h"

#include <memory>
#include <string>
#include <vector>

namespace CorvanePlatform
{

// What an entry that is neither a file nor a directory is.
enum class OtherKind
{
    None,
    FileLink,     // a symbolic link to a regular file: stat is the target's where known
    DanglingLink, // a symbolic link to nothing
    OtherLink,    // a symbolic link to neither a file nor a directory
    Pipe,
    Socket,
    Device,
};

struct DirectoryItem
{
    std::string strName;                // one component, as the file system spells it
    bool bFile = false;                 // a regular file itself, not a link to one
    bool bDirectory = false;            // a directory, or a link to one
    bool bLink = false;                 // the entry itself is a link
    OtherKind eOther = OtherKind::None; // neither bFile nor bDirectory: what it is
    bool bHasStat = false;              // files and file links: the stat below is known
    FileStat stat;
};

struct DirectoryListing
{
    FileIdentity id;                     // of the directory itself, whichever link led to it
    std::vector<DirectoryItem> vecItems; // files and directories only, in no order
};

// Lists the directory at the path (a link to a directory is followed). Entries
// that are neither files nor directories are listed with what they are, so a
// caller can say what it leaves out; "." and ".." are left out.
// False when the directory cannot be opened or read.
bool ListDirectory(const char* pcszDir, DirectoryListing* pListing);

// A listed directory kept open, so the directories in it can be opened by name
// instead of by a whole path looked up again. Closed when the last holder lets go.
class DirectoryHandle;
using DirectoryHandlePtr = std::shared_ptr<DirectoryHandle>;

// ListDirectory of pcszDir, which is pcszName inside pParent: where the
// platform can, it opens the name in the parent. With pKeep, the directory
// stays open in *pKeep (null where the platform keeps nothing).
bool ListDirectoryIn(const DirectoryHandlePtr& pParent, const char* pcszName, const char* pcszDir,
                     DirectoryListing* pListing, DirectoryHandlePtr* pKeep);

} // namespace CorvanePlatform
