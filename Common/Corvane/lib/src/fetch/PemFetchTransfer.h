// SPDX-License-Identifier: MIT
// One request of a plan in flight on the transfer thread.
#pragma once

#include "fetch/PemFetchPlan.h"
#include "format/CorvanePackageCheck.h"
#include "fs/CorvaneFiles.h"
#include "net/HttpPrivateImpl.h"

#include <memory>

namespace NSCorvane
{

struct PemFetchPlan::Transfer
{
    size_t uRange = 0;
    size_t uPart = 0;
    size_t uSource = 0;
    uint64_t uWritten = 0;
    CURL* pHandle = nullptr;
    // Whole packages go to the cache as they arrive, checked on the way.
    std::unique_ptr<CorvaneUtil::CacheStreamWriter> pWriter;
    NSCorvaneReader::PackageStreamCheck check;
    std::unique_ptr<HttpPrivateImpl::AsyncGet> pGet;
};

} // namespace NSCorvane
