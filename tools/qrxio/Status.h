#pragma once
// How qrxio ends and how it reports: the exit statuses, a library call that failed, and the
// messages of a refusal and of a usage error. Every command reports through these.

#include <QString>

#include <cstdint>

enum ExitStatus : int {
    kExitOk = 0,
    kExitRefused = 1, // the library or a board refused, or the output could not be written
    kExitUsage = 2,
    kExitIdle = 3, // monitor: --idle-timeout passed before -n changes were seen
};

// A library call that answered a negative status, named with its arguments.
struct FailedCall
{
    QString call;
    int32_t status = 0;

    // "CALL failed with status -2022: the parameter file could not be written"; the meaning as
    // the status table gives it for the library bound.
    QString text() const;
};

// Prints a usage error with the hint to --help; answers kExitUsage.
int UsageError(const QString &message);
// Prints what failed; answers kExitRefused.
int Refused(const FailedCall &failed);
int Refused(const QString &call, int32_t status);
// Prints `message` (a value read back that differs from what was written, ...); kExitRefused.
int RefusedWith(const QString &message);
