// SPDX-License-Identifier: MIT
// Signs a version of a local store: writes its manifest (every metadata file
// and every decoded file hashed) and re-signs the latest-version marker.
#pragma once

#include <cstdint>
#include <string>

namespace NSCorvaneTrust
{

struct SignOptions
{
    uint32_t uVersion = 0;      // _INVALID_VER: the latest
    uint32_t uExpireDays = 365; // of the version's manifest
    uint32_t uLastVerDays = 7;  // of the latest-version signature
};

// False with a reason for a person in strError; nothing is replaced then.
bool SignStoreVersion(const std::string& strStoreDir, const std::string& strKeyFile,
                      const SignOptions& options, std::string& strError);

} // namespace NSCorvaneTrust
