#pragma once
// Another user than the one running the tests, for the rows where someone else plants a link,
// owns a file or writes. Needs root.

#include <functional>
#include <sys/types.h>

struct SecondUser
{
    uid_t uid = 0;
    gid_t gid = 0;
    bool isValid() const { return uid != 0; }

    // The user "orvane-other", made with useradd where it is missing; else "nobody". Invalid
    // when not run as root or when no such user can be had.
    static SecondUser Get();

    // Runs `step` in a child process that is this user through and through (user, group, no
    // supplementary groups), so whatever it makes is the user's own; true when `step` was.
    bool Run(const std::function<bool()> &step) const;
};
