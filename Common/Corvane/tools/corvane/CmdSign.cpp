// SPDX-License-Identifier: MIT
// corvane sign: signs (or re-signs) a version of a store and the store's
// latest-version marker.
#include "CorvaneSign.h"
#include "CorvaneTool.h"

#include <cstdio>

namespace
{

const char kHelp[] = R"(usage: corvane sign STORE --key KEYFILE [--version V] [--expires DAYS]
                    [--lastver-expires DAYS]

Writes the signed manifest of version V (default: the latest) of the store
directory STORE: the SHA-256 of every metadata file and of every file's
content, signed with the secret key in KEYFILE. Also re-signs the store's
latest-version marker. Launchers that trust the key refuse a version whose
manifest is missing, signed by another key, or expired, and a latest-version
marker whose signature expired: re-sign from CI well before either runs out.

  --key KEYFILE            the secret key (from corvane keygen)
  --version V              the version to sign (default: the latest)
  --expires DAYS           the manifest stays valid DAYS days (default 365)
  --lastver-expires DAYS   the latest-version signature stays valid DAYS days
                           (default 7)
)";

int RunSign(ToolContext& ctx, const ParsedArgs& args)
{
    SignRequest request;
    request.strStore = args.Positional().at(0);
    request.strKeyFile = args.Value("--key");
    if (request.strKeyFile.empty())
    {
        return FailUsage("sign", "--key KEYFILE is required");
    }
    if (args.Has("--version") && !ParseUInt32(args.Value("--version"), request.uVersion))
    {
        return FailUsage("sign", "--version needs a number");
    }
    if (!ReadSignDays(args, request))
    {
        return FailUsage("sign", "--expires and --lastver-expires need a number of days from 1 to 36500");
    }
    return SignStore(ctx, request);
}

} // namespace

extern const CorvaneCommand g_cmdSign;
const CorvaneCommand g_cmdSign = {"sign",
                                  "sign a store version and its latest-version marker",
                                  kHelp,
                                  {{"--key", true, false},
                                   {"--version", true, false},
                                   {"--expires", true, false},
                                   {"--lastver-expires", true, false}},
                                  1,
                                  1,
                                  RunSign};
