// SPDX-License-Identifier: MIT
// corvane keygen: a new signing key for a store.
#include "CorvaneTool.h"

#include <cstdio>

namespace
{

const char kHelp[] = R"(usage: corvane keygen KEYFILE

Makes a new Ed25519 signing key. The secret key goes to KEYFILE (readable by
its owner only; an existing file is never replaced), the public key to
KEYFILE.pub, one line. Prints the key id. Keep KEYFILE secret: whoever holds
it can publish versions that launchers trusting KEYFILE.pub install. Give
KEYFILE.pub to launchers ("trust" in the store configuration).
)";

int RunKeygen(ToolContext& ctx, const ParsedArgs& args)
{
    const std::string strKeyFile = args.Positional().at(0);
    CorvaneLibrary* pLibrary = ctx.Library();
    if (!pLibrary)
    {
        return kExitFailure;
    }
    if (!pLibrary->HasSigning())
    {
        return Fail("the store library beside corvane cannot sign stores");
    }
    std::string strKeyId;
    if (!pLibrary->CreateKey(strKeyFile, strKeyId))
    {
        return FailInLibrary("no key made");
    }
    std::printf("key %s: secret key in %s, public key in %s.pub\n", strKeyId.c_str(), strKeyFile.c_str(),
                strKeyFile.c_str());
    return std::fflush(stdout) == 0 ? kExitOk : Fail("cannot write to standard output");
}

} // namespace

extern const CorvaneCommand g_cmdKeygen;
const CorvaneCommand g_cmdKeygen = {"keygen", "make a key to sign stores with", kHelp, {}, 1, 1, RunKeygen};
