// Whether a person can answer on standard input.
#pragma once

namespace OrvelPlatform
{
bool StandardInputIsTerminal();
} // namespace OrvelPlatform
