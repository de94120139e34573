#include "file_digest.h"

#include <QCryptographicHash>
#include <QFile>

namespace {

// Large enough to keep system calls rare, small enough to stay in cache.
constexpr qint64 read_chunk = 256 * 1024;

} // namespace

file_digest digest_file(const QString &path, const std::atomic<bool> &stop)
{
    QFile file(path);
    file_digest digest;
    const bool opened = file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    // Known with the file open or not; 0 for a file that is gone.
    digest.size = file.size();
    if (!opened) {
        digest.text = QStringLiteral("open fail!");
        return digest;
    }

    thread_local QByteArray buffer(read_chunk, Qt::Uninitialized);
    QCryptographicHash hash(QCryptographicHash::Md5);
    for (;;) {
        if (stop.load(std::memory_order_relaxed))
            return digest;
        const qint64 got = file.read(buffer.data(), read_chunk);
        if (got < 0)
            return digest;
        if (got == 0)
            break;
        hash.addData(QByteArrayView(buffer.constData(), got));
    }
    digest.text = QString::fromLatin1(hash.result().toHex());
    digest.hashed = true;
    return digest;
}
