// SPDX-License-Identifier: MIT
// Turns a configuration into the file systems of a reader's factory. Lives in
// net/ so that fs/ does not depend on the downloader.
#pragma once

#include "fs/PemFileStreamFactory.h"
#include "net/PemConfig.h"

namespace NSCorvane
{

// Adds the local directory (when enabled) and one downloader per remote entry
// (when enabled), in order. False on the first failure; what was added so far
// stays in the factory, which releases it.
bool SetupFactoryByConfig(PemFileStreamFactory& factory, const PemConfig* pCfg);

} // namespace NSCorvane
