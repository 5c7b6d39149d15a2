// SPDX-License-Identifier: MIT
// How a command names a store and a version, and the one place that turns
// that into an open reader.
#pragma once

#include "CorvaneTool.h"

#include <cstdint>
#include <string>
#include <vector>

// Where a command reads from: a store directory, or the JSON configuration of
// a remote store (--config FILE), and a version (_INVALID_VER = the latest).
struct StoreSource
{
    std::string strStoreDir;
    std::string strConfigFile; // when set, strStoreDir is not used
    uint32_t uVersion = 0xFFFFFFFFu;
    bool bNoRange = false;      // --no-range: whole packages only
    std::string strTrustedKeys; // public key lines (verify --trust); empty: none added
};

// The options every reading command accepts besides its own.
const std::vector<OptionSpec>& StoreSourceOptions();

// Positional arguments the store takes: 0 with --config FILE, else 1 (STORE).
size_t StoreArgCount(const ParsedArgs& args);

// Fills source from the first positional argument (or --config) and the store options.
// False with a usage message printed (the caller exits with kExitUsage).
bool ReadStoreSource(const char* pcszCommand, const ParsedArgs& args, StoreSource& source);

// Opens the reader of source. On failure prints one line and returns false.
bool OpenStoreReader(ToolContext& ctx, const StoreSource& source, ReaderPtr& pReader);

// "version 3" or "the latest version", for messages.
std::string DescribeVersion(const StoreSource& source);

// A path as the user typed it, in the form the store keeps paths: '/'
// separators, ASCII lower case, no leading "./" or '/', no trailing '/'.
std::string ToStorePath(const std::string& strPath);
