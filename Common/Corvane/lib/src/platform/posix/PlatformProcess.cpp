// SPDX-License-Identifier: MIT
#include "platform/PlatformProcess.h"

#include <unistd.h>

namespace CorvanePlatform
{

uint32_t CurrentProcessId()
{
    return static_cast<uint32_t>(::getpid());
}

} // namespace CorvanePlatform
