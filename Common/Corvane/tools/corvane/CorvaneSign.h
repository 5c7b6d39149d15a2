// SPDX-License-Identifier: MIT
// Signing a store version, shared by sign and pack --sign.
#pragma once

#include "CorvaneTool.h"

#include <cstdint>
#include <string>

struct SignRequest
{
    std::string strStore;
    std::string strKeyFile;
    uint32_t uVersion = 0xFFFFFFFFu; // the latest
    uint32_t uExpireDays = 365;
    uint32_t uLastVerDays = 7;
};

// --expires and --lastver-expires into request; false when one is not 1..36500.
bool ReadSignDays(const ParsedArgs& args, SignRequest& request);
// Signs and prints one line; the exit code.
int SignStore(ToolContext& ctx, const SignRequest& request);
