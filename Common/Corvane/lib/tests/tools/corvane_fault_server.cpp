// SPDX-License-Identifier: MIT
// The test fault server as a program, for scripts and benchmarks:
//   corvane_fault_server --root DIR [--seed N] [--share PERCENT] [--port-file FILE]
// serves DIR on a free 127.0.0.1 port, commits a fault (drawn from the seed)
// on PERCENT of the requests, prints its URL, and on SIGINT or SIGTERM the
// faults it committed, one a line.
#include "support/FaultHttpServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <unistd.h>

namespace
{

volatile std::sig_atomic_t g_bStop = 0;

void OnSignal(int)
{
    g_bStop = 1;
}

int Usage()
{
    std::fputs("usage: corvane_fault_server --root DIR [--seed N] [--share PERCENT] [--port-file FILE]\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    std::string strRoot;
    std::string strPortFile;
    CorvaneTest::FaultScriptOptions options;
    options.dShare = 0.3;
    for (int i = 1; i < argc; ++i)
    {
        const bool bHasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--root") == 0 && bHasValue)
            strRoot = argv[++i];
        else if (std::strcmp(argv[i], "--seed") == 0 && bHasValue)
            options.uSeed = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--share") == 0 && bHasValue)
            options.dShare = std::atof(argv[++i]) / 100.0;
        else if (std::strcmp(argv[i], "--port-file") == 0 && bHasValue)
            strPortFile = argv[++i];
        else
            return Usage();
    }
    if (strRoot.empty() || options.dShare < 0.0 || options.dShare > 1.0)
        return Usage();

    auto pScript = std::make_shared<CorvaneTest::FaultScript>(options);
    auto pServer = CorvaneTest::FaultHttpServer::ServeDirectory(strRoot, pScript);
    if (pServer->Port() == 0)
        return 1;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::printf("%s\n", pServer->BaseUrl().c_str());
    std::fflush(stdout);
    if (!strPortFile.empty())
        std::ofstream(strPortFile) << pServer->Port() << "\n";
    while (!g_bStop)
        ::pause();
    pServer.reset();
    for (const std::string& strFault : pScript->Committed())
        std::printf("%s\n", strFault.c_str());
    std::printf("%d requests, %zu faults\n", pScript->Requests(), pScript->Committed().size());
    return 0;
}
