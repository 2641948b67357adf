#include "SecondUser.h"

#include <QProcess>
#include <QStringList>

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

SecondUser Named(const char *name)
{
    const struct passwd *pw = getpwnam(name);
    return pw && pw->pw_uid != 0 ? SecondUser{pw->pw_uid, pw->pw_gid} : SecondUser{};
}

} // namespace

SecondUser SecondUser::Get()
{
    if (geteuid() != 0)
        return {};
    SecondUser user = Named("orvane-other");
    if (!user.isValid())
        QProcess::execute(QStringLiteral("useradd"),
                          {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                           QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"),
                           QStringLiteral("orvane-other")});
    user = Named("orvane-other");
    return user.isValid() ? user : Named("nobody");
}

bool SecondUser::Run(const std::function<bool()> &step) const
{
    const pid_t child = fork();
    if (child == 0) {
        const bool ok =
            setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(uid) == 0 && step();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
        WEXITSTATUS(status) == 0;
}
