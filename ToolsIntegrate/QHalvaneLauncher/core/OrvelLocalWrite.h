// Writing one file into a tree such as the working path: whole or not at all.
#pragma once

#include <QString>

#include <functional>

class OrvelWriteBatch;

namespace OrvelLocalWrite
{

// strTarget lies strictly below strRoot (after cleaning both) and no existing
// directory between them is a symbolic link, so nothing written there lands
// outside the tree. False with a message in *pstrError otherwise.
bool CheckContained(const QString& strRoot, const QString& strTarget, QString* pstrError);

// Writes the bytes to a new temporary file in strTarget's directory (which
// must exist) and renames it over strTarget, also when strTarget is new; a
// symbolic link at strTarget is replaced, not followed. A read-only target is
// kept. With pBatch the data is flushed later by the batch, otherwise before
// the rename. On failure the temporary file is removed, strTarget is as it
// was, *pstrError holds the formatted file error and *pnCode the system's code.
bool WriteFileAtomic(const QString& strTarget, const char* pData, qint64 nSize, OrvelWriteBatch* pBatch,
                     QString* pstrError, int* pnCode = nullptr);

// The next piece of a file's content: its size (0 at the end, -1 when it
// cannot be read) and in *ppPiece its bytes, valid until the next call.
using PieceFn = std::function<qint64(const char** ppPiece)>;

// WriteFileAtomic of nSize bytes taken piece by piece, so that a large file
// never sits in memory whole. When fnNext fails or gives other than nSize
// bytes, nothing is kept, *pbSourceFailed is set and *pstrError is left to
// the caller, who knows the source.
bool WriteFileAtomicFrom(const QString& strTarget, qint64 nSize, const PieceFn& fnNext,
                         OrvelWriteBatch* pBatch, QString* pstrError, int* pnCode, bool* pbSourceFailed);

// After strRemovedFile was deleted: the directories it leaves empty go too, up
// to but not including strRoot, never through a link. Names are compared
// exactly: on a case-sensitive file system another spelling of the root is
// another directory. With pBatch, each parent that lost an entry is noted for
// its flush. Callers on several threads hold one lock around it.
void PruneEmptyDirectories(const QString& strRoot, const QString& strRemovedFile, OrvelWriteBatch* pBatch);

} // namespace OrvelLocalWrite
