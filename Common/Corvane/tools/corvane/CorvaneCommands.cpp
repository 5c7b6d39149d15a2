// SPDX-License-Identifier: MIT
// The command table. A new command is one source file defining its
// CorvaneCommand and one line here.
#include "CorvaneTool.h"

extern const CorvaneCommand g_cmdPack;
extern const CorvaneCommand g_cmdInfo;
extern const CorvaneCommand g_cmdLs;
extern const CorvaneCommand g_cmdCat;
extern const CorvaneCommand g_cmdVerify;
extern const CorvaneCommand g_cmdFetch;
extern const CorvaneCommand g_cmdKeygen;
extern const CorvaneCommand g_cmdSign;

const std::vector<const CorvaneCommand*>& CommandTable()
{
    static const std::vector<const CorvaneCommand*> s_vecCommands = {
        &g_cmdPack, &g_cmdInfo, &g_cmdLs, &g_cmdCat, &g_cmdVerify, &g_cmdFetch, &g_cmdKeygen, &g_cmdSign,
    };
    return s_vecCommands;
}
