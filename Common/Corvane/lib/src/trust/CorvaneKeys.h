// SPDX-License-Identifier: MIT
// Ed25519 keys of signed stores and their files (docs/manifest.md):
//   secret key file:  "corvane-ed25519-secret <64 hex: seed>\n", mode 0600
//   public key file:  "ed25519 <64 hex: public key>\n"
// A trusted key in a configuration is that public line, or its hex alone.
// The key id is the first 8 bytes of the public key's SHA-256, in hex.
#pragma once

#include "format/CorvaneManifest.h"

#include <array>
#include <string>

namespace NSCorvaneTrust
{

struct PublicKey
{
    std::array<uint8_t, CorvanePlatform::kEd25519PublicSize> bytes{};
    KeyId id{};
};

using SecretSeed = std::array<uint8_t, CorvanePlatform::kEd25519SeedSize>;

KeyId MakeKeyId(const PublicKey& key);
std::string KeyIdText(const KeyId& id);
// The public key's one-line form, without "\n".
std::string PublicKeyLine(const PublicKey& key);
// A public key line or bare hex; surrounding white space is ignored.
bool ParsePublicKey(const std::string& strText, PublicKey& key, std::string& strError);
bool ReadPublicKeyFile(const std::string& strPath, PublicKey& key, std::string& strError);

// Writes a new key pair: the secret to strPath (created 0600, never over an
// existing file), the public key to strPath + ".pub".
bool WriteNewKeyPair(const std::string& strPath, PublicKey& key, std::string& strError);
bool ReadSecretKeyFile(const std::string& strPath, SecretSeed& seed, PublicKey& key, std::string& strError);

// "signature checks are not available in this build" when the build has no Ed25519.
bool CheckSignaturesAvailable(std::string& strError);

} // namespace NSCorvaneTrust
