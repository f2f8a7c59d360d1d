// zerivirav-open FOLDER: starts zerivirav in FOLDER, or in the home folder
// without one. The desktop entry runs it for "Open With" on a folder; the
// folder's name reaches chdir() as the very bytes it came as, with no shell
// in between, whatever blanks, quotes or other bytes it holds.

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char *argv[])
{
    const char *folder = argc > 1 ? argv[1] : std::getenv("HOME");
    if (!folder || !*folder) {
        const passwd *user = getpwuid(getuid());
        folder = user ? user->pw_dir : "/";
    }
    if (chdir(folder) != 0) {
        std::fprintf(stderr, "zerivirav-open: cannot open the folder %s: %s\n", folder, std::strerror(errno));
        return 1;
    }
    // zerivirav is installed beside this program.
    std::string program(PATH_MAX, '\0');
    const ssize_t length = readlink("/proc/self/exe", program.data(), program.size());
    if (length <= 0 || std::size_t(length) >= program.size()) {
        std::fprintf(stderr, "zerivirav-open: cannot find its own folder: %s\n", std::strerror(errno));
        return 1;
    }
    program.resize(std::size_t(length));
    program.replace(program.rfind('/') + 1, std::string::npos, "zerivirav");
    char *const args[] = {program.data(), nullptr};
    execv(program.c_str(), args);
    std::fprintf(stderr, "zerivirav-open: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    return 1;
}
