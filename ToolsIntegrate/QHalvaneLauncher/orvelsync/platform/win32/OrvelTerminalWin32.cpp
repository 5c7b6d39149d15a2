#include "platform/OrvelTerminal.h"

#include <io.h>
#include <stdio.h>

namespace OrvelPlatform
{

bool StandardInputIsTerminal()
{
    return _isatty(_fileno(stdin)) != 0;
}

} // namespace OrvelPlatform
