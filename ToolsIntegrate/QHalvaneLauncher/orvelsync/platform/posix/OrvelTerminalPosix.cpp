#include "platform/OrvelTerminal.h"

#include <unistd.h>

namespace OrvelPlatform
{

bool StandardInputIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

} // namespace OrvelPlatform
