#include "digest_job.h"

#include <QtConcurrent/QtConcurrentMap>

digest_job::digest_job(const QStringList &paths, QThreadPool *pool)
    : stop_(std::make_shared<std::atomic<bool>>(false))
{
    auto stop = stop_;
    future_ = QtConcurrent::mapped(pool, paths, [stop](const QString &path) {
        return digest_file(path, *stop);
    });
}

void digest_job::cancel()
{
    stop_->store(true);
    future_.cancel();
}

std::optional<QList<file_digest>> digest_job::wait()
{
    future_.waitForFinished();
    if (stop_->load() || future_.isCanceled())
        return std::nullopt;
    return future_.results();
}
