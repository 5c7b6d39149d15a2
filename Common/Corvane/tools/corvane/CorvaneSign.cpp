// SPDX-License-Identifier: MIT
#include "CorvaneSign.h"

#include <cstdio>

namespace
{

bool ReadDays(const ParsedArgs& args, const char* pcszOption, uint32_t& uDays)
{
    if (!args.Has(pcszOption))
    {
        return true;
    }
    uint32_t uValue = 0;
    if (!ParseUInt32(args.Value(pcszOption), uValue) || uValue == 0 || uValue > 36500)
    {
        return false;
    }
    uDays = uValue;
    return true;
}

} // namespace

bool ReadSignDays(const ParsedArgs& args, SignRequest& request)
{
    return ReadDays(args, "--expires", request.uExpireDays) &&
           ReadDays(args, "--lastver-expires", request.uLastVerDays);
}

int SignStore(ToolContext& ctx, const SignRequest& request)
{
    CorvaneLibrary* pLibrary = ctx.Library();
    if (!pLibrary)
    {
        return kExitFailure;
    }
    if (!pLibrary->HasSigning())
    {
        return Fail("the store library beside corvane cannot sign stores");
    }
    const std::string strVersion = request.uVersion == 0xFFFFFFFFu
                                       ? std::string("the latest version")
                                       : "version " + std::to_string(request.uVersion);
    if (!pLibrary->SignVersion(request.strStore, request.uVersion, request.strKeyFile, request.uExpireDays,
                               request.uLastVerDays))
    {
        return FailInLibrary(strVersion + " of '" + request.strStore + "' is not signed");
    }
    std::printf("signed %s of %s: manifest valid %u days, latest-version marker %u days\n",
                strVersion.c_str(), request.strStore.c_str(), request.uExpireDays, request.uLastVerDays);
    return std::fflush(stdout) == 0 ? kExitOk : Fail("cannot write to standard output");
}
