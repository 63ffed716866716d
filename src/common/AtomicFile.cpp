#include "AtomicFile.h"

#include "AppError.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace kv10 {

namespace {

// The Czech text of a failed write of `path` with the system's reason.
QString fileWriteErrorText(const QString& path, const QString& reason)
{
    QString text = QStringLiteral("Nelze zapsat soubor %1.").arg(QDir::toNativeSeparators(path));
    if (!reason.isEmpty())
        text += QLatin1Char('\n') + reason;
    return text;
}

} // namespace

bool writeFully(QIODevice& device, QByteArrayView data)
{
    // A write may stop short (a file size limit, a disk that just filled up); writing the rest
    // then either goes on or fails with the reason.
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 written = device.write(data.data() + done, data.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

void writeFileAtomically(const QString& path, const std::function<bool(QIODevice&)>& produce)
{
    // Replacing a read-only file by renaming would succeed on POSIX; refuse it as Windows does,
    // also for root, who may write anything: a file without any write permission stays.
    const QFileInfo target(path);
    constexpr QFile::Permissions AnyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (target.exists() && (!target.isFile() || !target.isWritable() || !(target.permissions() & AnyWrite)))
        throw AppError(fileWriteErrorText(path, QStringLiteral("Soubor je jen pro čtení nebo to není soubor.")));

    QSaveFile file(path);
    // Unbuffered: every write reaches the system at once, so writeFully() sees the real reason
    // of a failure (a full disk) instead of a failed flush at the end.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw AppError(fileWriteErrorText(path, file.errorString()));
    // Flush here and check: QSaveFile::commit() ignores a failed flush of a buffer and would
    // replace the old file with a truncated one.
    if (!produce(file) || !file.flush()) {
        const QString reason = file.error() == QFileDevice::NoError ? QString() : file.errorString();
        file.cancelWriting();
        throw AppError(fileWriteErrorText(path, reason));
    }
    if (!file.commit())
        throw AppError(fileWriteErrorText(path, file.errorString()));
}

void writeFileAtomically(const QString& path, QByteArrayView data)
{
    writeFileAtomically(path, [data](QIODevice& device) { return writeFully(device, data); });
}

} // namespace kv10
