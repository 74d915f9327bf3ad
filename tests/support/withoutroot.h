#pragma once

// Header only: the unit tests link Qt Core and GoogleTest, not the widget support library.

#include <optional>

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pexumo::test {

/// Runs \a work in a forked child with the rights of an ordinary user: permission bits do not
/// stop root, so a child of root first gives up root for "nobody". Returns what \a work returned
/// (0 to 127), or nothing when root could not be given up (no user "nobody", or the system
/// refused). The child shares nothing with the test but the files both can see.
template <typename Work> std::optional<int> runWithoutRoot(Work&& work)
{
    uid_t uid = ::geteuid();
    gid_t gid = ::getegid();
    if (uid == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (nobody == nullptr)
            return std::nullopt;
        uid = nobody->pw_uid;
        gid = nobody->pw_gid;
    }
    constexpr int CouldNotDrop = 255;
    const pid_t child = ::fork();
    if (child == -1)
        return std::nullopt;
    if (child == 0) {
        if ((::getegid() != gid && ::setresgid(gid, gid, gid) != 0) ||
            (::geteuid() != uid && ::setresuid(uid, uid, uid) != 0))
            ::_exit(CouldNotDrop);
        ::_exit(work() & 0x7f);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) == CouldNotDrop)
        return std::nullopt;
    return WEXITSTATUS(status);
}

} // namespace pexumo::test
