#pragma once

#include "file_digest.h"

#include <QFuture>
#include <QStringList>
#include <memory>

class QThreadPool;

// Hashes a list of files on the threads of a pool. Results come in the order
// of the list, whatever the number of threads, so a manifest built from them
// does not depend on it.
class digest_job {
public:
    digest_job(const QStringList &paths, QThreadPool *pool);

    QFuture<file_digest> future() const { return future_; }

    // Stops the hashing soon, also inside a large file.
    void cancel();

    // Waits until every worker has let go of its file; the results in order,
    // or nothing when the job was cancelled.
    std::optional<QList<file_digest>> wait();

private:
    std::shared_ptr<std::atomic<bool>> stop_;
    QFuture<file_digest> future_;
};
