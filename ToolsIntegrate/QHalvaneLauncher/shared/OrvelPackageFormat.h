// The update package "QHalvaneLauncher_update.pkg": one flat file that the
// launcher writes and the updater reads. Little-endian, no padding.
//
//   header, 24 bytes
//     0   char[4]  signature "OVPK"
//     4   i32      format version, 1
//     8   i32      content version (store version of the packed files)
//     12  i32      file count N
//     16  i64      total size of the package file
//   file table, N entries of L + 26 bytes, in the order the files were added
//     0   i16      L, byte length of the path
//     2   u8[L]    relative path, UTF-8, '/' separators, no terminator
//     2+L i64      file size
//     10+L u64     FNV-1a 64 of the content
//     18+L i64     offset of the first data byte from the start of the file
//   data section: the contents in table order, back to back
#pragma once

#include <QString>
#include <QtGlobal>

namespace OrvelPackageFormat
{
constexpr char kSignature[4] = {'O', 'V', 'P', 'K'};
constexpr qint32 kFormatVersion = 1;
constexpr qint64 kHeaderSize = 24;
constexpr qint64 kEntryFixedSize = 26;
// The path length is a signed 16-bit field.
constexpr int kMaxPathBytes = 32767;
constexpr qint64 kCopyChunkSize = 65536;

// Whether a relative path may name a file inside the target directory: it must
// not be empty, absolute, rooted or drive-qualified, must not hold a backslash, a
// NUL, an empty, "." or ".." component, and must fit the length field. Paths are
// compared for duplicates exactly, so only this one spelling of a file is allowed.
bool IsSafeRelativePath(const QString& strPath);
} // namespace OrvelPackageFormat

// One entry of the file table as the reader sees it.
struct OrvelPackageFileInfo
{
    QString strRelativePath;
    qint64 nSize = 0;
    quint64 uHash = 0;
    qint64 nOffset = 0;
};
