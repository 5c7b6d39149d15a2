// SPDX-License-Identifier: MIT
// Signed records of a store (docs/manifest.md): the manifest of a version,
// "dat/v<N>/_manifest", and the signature of the latest-version marker,
// "idx/_lastver.sig". Both are UTF-8 text, one field per line ending in "\n":
//
//   corvane-manifest 1          or  corvane-lastver 1
//   version <N>
//   signed <unix seconds>
//   expires <unix seconds>
//   meta <name> <sha256 hex>            manifest only, names sorted, "_" first
//   file <sha256 hex> <size> <path>     manifest only, paths sorted
//   key <key id: 16 hex>
//   signature <ed25519 signature: 128 hex>
//
// The signed bytes are every byte before the "signature" line. The parser
// takes exactly this form (lower-case hex, no blank or extra lines, nothing
// after the signature line), so one record has one spelling.
#pragma once

#include "platform/PlatformCrypto.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace NSCorvaneTrust
{

using Sha256Digest = std::array<uint8_t, CorvanePlatform::kSha256Size>;
using Signature = std::array<uint8_t, CorvanePlatform::kEd25519SignatureSize>;
using KeyId = std::array<uint8_t, 8>;

enum class RecordKind
{
    Manifest,
    LastVersion,
};

struct ManifestMeta
{
    std::string strName;   // file name in the version's directory, "_index"
    Sha256Digest digest{}; // of the file's stored bytes
};

struct ManifestFile
{
    std::string strPath;   // store path
    uint64_t uSize = 0;    // decoded size
    Sha256Digest digest{}; // of the decoded content
};

struct SignedRecord
{
    RecordKind eKind = RecordKind::Manifest;
    uint32_t uVersion = 0;
    int64_t nSigned = 0;
    int64_t nExpires = 0;
    std::vector<ManifestMeta> vecMeta;
    std::vector<ManifestFile> vecFiles;
    KeyId keyId{};
    Signature signature{};
    // Parse only: the length of the signed bytes at the start of the text.
    size_t uSignedLength = 0;
};

// Largest record the reader takes: bounds what a hostile server can make it hold.
constexpr size_t kMaxRecordSize = 256u << 20;

// Parses a whole record. False, with a reason for a person in strError, on
// any deviation from the form above.
bool ParseSignedRecord(const void* pData, size_t uSize, SignedRecord& record, std::string& strError);

// The signed bytes of a record (every line before "signature"); vecMeta and
// vecFiles must be sorted and free of duplicates.
std::string FormatSignedBody(const SignedRecord& record);
// The body with its signature line.
std::string FormatSignedRecord(const SignedRecord& record);

std::string ToHex(const uint8_t* pData, size_t uSize);
// Exactly uSize bytes of lower- or upper-case hex, nothing else.
bool FromHex(const std::string& strHex, uint8_t* pOut, size_t uSize);

// Store paths of the two records.
std::string ManifestPath(uint32_t uVersion);
std::string LastVersionSignaturePath();
constexpr const char* kManifestName = "_manifest";

} // namespace NSCorvaneTrust
