// Preloaded into quillet-cli by the fault tests: kills the process with SIGKILL at one chosen
// moment of saving a file, as a crash or a power cut would. QUILLET_KILL_POINT is
// "before:PATTERN" or "after:PATTERN": the moment just before or just after a file whose path
// matches the shell PATTERN takes its place (the rename or link that ends an atomic write).

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fnmatch.h>
#include <unistd.h>

namespace {

bool matches(const char *path, bool after)
{
    const char *point = std::getenv("QUILLET_KILL_POINT");
    if (!point || !path)
        return false;
    const char *prefix = after ? "after:" : "before:";
    const size_t length = std::strlen(prefix);
    return std::strncmp(point, prefix, length) == 0 && ::fnmatch(point + length, path, 0) == 0;
}

template<typename Function, typename... Arguments>
int renaming(const char *name, const char *target, Arguments... arguments)
{
    if (matches(target, false))
        ::kill(::getpid(), SIGKILL);
    static const auto next = reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
    if (!next) {
        errno = ENOSYS;
        return -1;
    }
    const int result = next(arguments...);
    if (result == 0 && matches(target, true))
        ::kill(::getpid(), SIGKILL);
    return result;
}

} // namespace

extern "C" {

int rename(const char *from, const char *to)
{
    return renaming<int (*)(const char *, const char *)>("rename", to, from, to);
}

int renameat(int fromFolder, const char *from, int toFolder, const char *to)
{
    return renaming<int (*)(int, const char *, int, const char *)>("renameat", to, fromFolder, from,
                                                                   toFolder, to);
}

int renameat2(int fromFolder, const char *from, int toFolder, const char *to, unsigned flags)
{
    return renaming<int (*)(int, const char *, int, const char *, unsigned)>(
        "renameat2", to, fromFolder, from, toFolder, to, flags);
}

int linkat(int fromFolder, const char *from, int toFolder, const char *to, int flags)
{
    return renaming<int (*)(int, const char *, int, const char *, int)>("linkat", to, fromFolder,
                                                                        from, toFolder, to, flags);
}

} // extern "C"
