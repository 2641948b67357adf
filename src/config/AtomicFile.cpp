#include "config/AtomicFile.h"

#include <QSaveFile>

bool WriteFileAtomically(const QString &path, const std::function<bool(QIODevice *)> &write,
                         QString *error)
{
    QSaveFile file(path);
    auto fail = [&](const QString &why) {
        if (error)
            *error = why.isEmpty() ? QStringLiteral("The file could not be written.") : why;
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (!write(&file))
        return fail(file.errorString());
    // The last buffered bytes go out here; commit() would replace the old file even when they
    // did not fit on the disk.
    if (!file.flush() || file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    if (!file.commit())
        return fail(file.errorString());
    return true;
}
