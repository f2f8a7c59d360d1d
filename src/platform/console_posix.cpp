#include "platform/console.h"

#include <cstdio>

namespace platform {

bool asksForHelp(std::string_view arg)
{
    return arg == "--help";
}

bool writeAnswer(std::string_view text, const char *)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

} // namespace platform
