// The update package "QHalvaneLauncher_update.pkg": one flat file that the
// launcher writes and the updater reads. Little-endian, no padding.
//
//   header, 24 bytes
//     0   char[4]  signature "OVPK"
//     4   i32      format version, 2 (1 is still read, see below)
//     8   i32      content version (store version of the packed files)
//     12  i32      file count N
//     16  i64      total size of the package file
//   file table, N entries of L + 58 bytes, in the order the files were added
//     0   i16      L, byte length of the path
//     2   u8[L]    relative path, UTF-8, '/' separators, no terminator
//     2+L i64      file size
//     10+L u64     FNV-1a 64 of the content
//     18+L i64     offset of the first data byte from the start of the file
//     26+L u8[32]  SHA-256 of the content
//   data section: the contents in table order, back to back
//
// The SHA-256 is the store manifest's hash of the file: the launcher takes it
// from the bytes it read through the library, which with a trusted key were
// checked against the signed manifest. The updater checks every entry against
// it before it replaces any file, so a package edited on the way (content and
// FNV both rewritten) is refused whole.
//
// Version 1 (entries of L + 26 bytes, no SHA-256) came from launchers before
// this one; an old launcher updating itself runs the store's new updater with
// such a package, so it is still read, checked by FNV-1a only, and the updater
// logs that it could not check it against the store. This launcher always
// writes version 2, where the SHA-256 is part of every entry: a version 2
// package cannot leave it out, and an entry whose content differs is refused.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace OrvelPackageFormat
{
constexpr char kSignature[4] = {'O', 'V', 'P', 'K'};
constexpr qint32 kFormatVersion = 2;
constexpr qint32 kFormatVersionWithoutSha256 = 1;
constexpr qint64 kHeaderSize = 24;
constexpr qint64 kSha256Size = 32;
constexpr qint64 kEntryFixedSize = 26 + kSha256Size;
constexpr qint64 kEntryFixedSizeWithoutSha256 = 26;
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
    QByteArray sha256; // 32 bytes; empty in a version 1 package
};
