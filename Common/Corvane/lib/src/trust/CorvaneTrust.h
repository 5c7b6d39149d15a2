// SPDX-License-Identifier: MIT
// The keys a reader trusts and the checks of signed records against them.
// Filled once during set-up, only read afterwards: safe on many threads then.
#pragma once

#include "format/CorvaneManifest.h"
#include "trust/CorvaneKeys.h"

#include <Corvane/CorvaneStream.h>

#include <cstdint>
#include <string>
#include <vector>

namespace NSCorvaneTrust
{

class TrustedKeys
{
public:
    // One entry of "trust": a public key line or its hex.
    bool Add(const std::string& strEntry, std::string& strError);
    void Add(const PublicKey& key) { m_vecKeys.push_back(key); }
    bool Empty() const { return m_vecKeys.empty(); }
    const std::vector<PublicKey>& Keys() const { return m_vecKeys; }

    // Parses the record at [pText, pText + uSize) and checks that it is of
    // eKind, signed by one of the keys and not expired at nNow (unix
    // seconds). False with a reason for a person in strError.
    bool Verify(const void* pText, size_t uSize, RecordKind eKind, int64_t nNow, SignedRecord& record,
                std::string& strError) const;

private:
    std::vector<PublicKey> m_vecKeys;
};

// Signs a record in place (keyId and signature); the text is FormatSignedRecord(record).
bool SignRecord(SignedRecord& record, const SecretSeed& seed, const PublicKey& key);

bool DigestOf(const void* pData, size_t uSize, Sha256Digest& digest);
// The digest of a whole file: its buffer, or read from its start in pieces
// (a large file decoded as it is read). False when it cannot be read whole.
bool DigestOfFile(NSCorvane::IFile& file, Sha256Digest& digest);
// The record's entries, looked up by binary search (both lists are sorted).
const ManifestMeta* FindMeta(const SignedRecord& record, const std::string& strName);
const ManifestFile* FindFile(const SignedRecord& record, const std::string& strPath);
// "1970-01-01 00:00:00 UTC" form, for messages.
std::string TimeText(int64_t nTime);
int64_t NowSeconds();

} // namespace NSCorvaneTrust
