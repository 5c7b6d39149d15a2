// SPDX-License-Identifier: MIT
// Every record the package store keeps on disk or serves over HTTP. All integers
// are little-endian and every record is packed: the static_asserts below pin each
// size and offset, because stores written by one build are read by another.
#pragma once

#include <cstddef>
#include <cstdint>

namespace NSCorvane
{

constexpr uint32_t CORVANE_MAGIC = 27805; // 0x00006C9D, bytes 9D 6C 00 00
constexpr uint32_t _INVALID_VER = 0xFFFFFFFFu;
constexpr uint32_t _INVALID_IDX = 0xFFFFFFFFu;
constexpr uint32_t FILE_INFO_VERSION = 1;
constexpr uint32_t CORVANE_FILE_PATH_FIELD = 200; // szFilePath: at most 199 bytes + NUL
constexpr uint64_t CORVANE_EMPTY_CONTEXT_HASH = 0x0000150500000000ull;

// Codec of a file record. Type 1 stays defined so that stores that carry it are
// recognised; this build cannot decode it and says so.
enum CORVANE_COMPRESS_TYPE : uint8_t
{
    STCT_LZHAM = 1,
    STCT_ZSTD = 2,
};

// Routing bits of every open or existence query (tested in the order
// LocalOnly, RemoteOnly, LocalFirst, RemoteFirst; 0 or less means LocalFirst).
enum CORVANE_OPTION : int
{
    SHO_LocalFirst = 0x2,
    SHO_RemoteFirst = 0x4,
    SHO_LocalOnly = 0x800,
    SHO_RemoteOnly = 0x1000,
};

#pragma pack(push, 1)

// Hashed-file envelope: followed by nDatLength data bytes; the file is exactly
// 16 + nDatLength bytes.
struct CORVANE_HASH_HEADER
{
    uint32_t nMagic;
    uint64_t hashContext; // CalcContextHash of the data that follow
    uint32_t nDatLength;
};

// One element of a version's sorted index (dat/vV/_index).
struct CORVANE_IDX_ELEMENT
{
    uint64_t uNameHash;
    uint64_t uContextHash;
    uint32_t uVer;     // version whose package holds the content
    uint32_t uElemIdx; // package number within that version
    uint32_t uElemOfs; // offset of the record header within the package
    uint32_t uElemLen; // 225 + nEncodeSize
};

// Header of a data package dat/vV/D/N.dat; the data region follows.
struct CORVANE_DISK_PACKAGE_HEADER
{
    uint32_t nMagic;
    uint32_t nPackageId;
    uint32_t nFileCount;
    uint64_t hashContext; // over the whole data region
    uint32_t nContextLength;
    uint32_t nHeadOffset; // 28
};

// One file record inside a package's data region; nEncodeSize bytes of
// compression envelope follow.
struct CORVANE_FILE_HEADER
{
    uint32_t nMagic;
    char szFilePath[CORVANE_FILE_PATH_FIELD];
    uint64_t hashContext; // of the uncompressed content
    uint32_t nOriContexLength;
    uint8_t nCompressType;
    uint32_t nEncodeSize;
    uint32_t nHeadOffset; // 225
};

// Package information of a version (dat/vV/_pkginf).
struct CORVANE_PAK_INFO
{
    uint32_t uInfoVersion; // 0
    uint32_t uStoreVersion;
    uint32_t uFileCount;
    uint32_t uPackageCount;
    uint64_t uTotalDataSize;
    uint32_t uOptionValue;
    char szReleaseGuid[40];
    char szReleaseText[256];
    uint8_t reserved[4];
};

// File information table (dat/vV/_fileinf): header, then uElemCount records of
// uElemSize bytes starting at uHeaderSize; readers take the first 16 bytes.
struct FileInfoHeader
{
    uint32_t uVersion; // FILE_INFO_VERSION
    uint32_t uHeaderSize;
    uint32_t uElemSize;
    uint32_t uElemCount;
};

struct FileInfoElement
{
    uint64_t uNameHash;
    uint32_t uFileSize;
    uint32_t uPathOffset; // into the string pool dat/vV/_fileinfstr
};

#pragma pack(pop)

static_assert(sizeof(CORVANE_HASH_HEADER) == 16, "hash header");
static_assert(offsetof(CORVANE_HASH_HEADER, hashContext) == 4, "hash header");
static_assert(offsetof(CORVANE_HASH_HEADER, nDatLength) == 12, "hash header");

static_assert(sizeof(CORVANE_IDX_ELEMENT) == 32, "index element");
static_assert(offsetof(CORVANE_IDX_ELEMENT, uContextHash) == 8, "index element");
static_assert(offsetof(CORVANE_IDX_ELEMENT, uVer) == 16, "index element");
static_assert(offsetof(CORVANE_IDX_ELEMENT, uElemIdx) == 20, "index element");
static_assert(offsetof(CORVANE_IDX_ELEMENT, uElemOfs) == 24, "index element");
static_assert(offsetof(CORVANE_IDX_ELEMENT, uElemLen) == 28, "index element");

static_assert(sizeof(CORVANE_DISK_PACKAGE_HEADER) == 28, "package header");
static_assert(offsetof(CORVANE_DISK_PACKAGE_HEADER, nPackageId) == 4, "package header");
static_assert(offsetof(CORVANE_DISK_PACKAGE_HEADER, nFileCount) == 8, "package header");
static_assert(offsetof(CORVANE_DISK_PACKAGE_HEADER, hashContext) == 12, "package header");
static_assert(offsetof(CORVANE_DISK_PACKAGE_HEADER, nContextLength) == 20, "package header");
static_assert(offsetof(CORVANE_DISK_PACKAGE_HEADER, nHeadOffset) == 24, "package header");

static_assert(sizeof(CORVANE_FILE_HEADER) == 225, "file header");
static_assert(offsetof(CORVANE_FILE_HEADER, szFilePath) == 4, "file header");
static_assert(offsetof(CORVANE_FILE_HEADER, hashContext) == 204, "file header");
static_assert(offsetof(CORVANE_FILE_HEADER, nOriContexLength) == 212, "file header");
static_assert(offsetof(CORVANE_FILE_HEADER, nCompressType) == 216, "file header");
static_assert(offsetof(CORVANE_FILE_HEADER, nEncodeSize) == 217, "file header");
static_assert(offsetof(CORVANE_FILE_HEADER, nHeadOffset) == 221, "file header");

static_assert(sizeof(CORVANE_PAK_INFO) == 328, "package information");
static_assert(offsetof(CORVANE_PAK_INFO, uStoreVersion) == 4, "package information");
static_assert(offsetof(CORVANE_PAK_INFO, uFileCount) == 8, "package information");
static_assert(offsetof(CORVANE_PAK_INFO, uPackageCount) == 12, "package information");
static_assert(offsetof(CORVANE_PAK_INFO, uTotalDataSize) == 16, "package information");
static_assert(offsetof(CORVANE_PAK_INFO, uOptionValue) == 24, "package information");
static_assert(offsetof(CORVANE_PAK_INFO, szReleaseGuid) == 28, "package information");
static_assert(offsetof(CORVANE_PAK_INFO, szReleaseText) == 68, "package information");
static_assert(offsetof(CORVANE_PAK_INFO, reserved) == 324, "package information");

static_assert(sizeof(FileInfoHeader) == 16, "file information header");
static_assert(sizeof(FileInfoElement) == 16, "file information element");
static_assert(offsetof(FileInfoElement, uFileSize) == 8, "file information element");
static_assert(offsetof(FileInfoElement, uPathOffset) == 12, "file information element");

} // namespace NSCorvane
