// SPDX-License-Identifier: MIT
// URLs of store paths on a content server.
#pragma once

#include <cstdint>
#include <string>

namespace NSCorvaneNet
{

// The bytes A-Z a-z 0-9 - . _ ~ / and an existing "%XX" escape stand as they
// are; every other byte becomes %XX (upper-case hex).
std::string PercentEncodePath(const std::string& strPath);

// strBase + "/" (unless it ends with one) + the encoded path + "?t=" + uTickMs,
// so that no intermediate cache serves an old copy.
std::string BuildFileUrl(const std::string& strBase, const std::string& strPath, uint64_t uTickMs);

// "scheme://host:port" of strUrl, lower-cased: what a kept-alive connection
// can serve. The whole URL when it has no "://".
std::string OriginOf(const std::string& strUrl);

} // namespace NSCorvaneNet
