// How users of the platform the program is built for ask for things: the
// spellings of the help option. The calls that differ by platform: platform.h.
#pragma once

#include <string_view>

namespace driver {

#ifdef _WIN32
// "/?" is how Windows programs are asked for help.
inline constexpr std::string_view HELP_SPELLINGS[] = {"--help", "-h", "/?"};
#else
inline constexpr std::string_view HELP_SPELLINGS[] = {"--help", "-h"};
#endif

}  // namespace driver
