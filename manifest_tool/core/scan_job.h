#pragma once

#include "source_scan.h"

#include <QFuture>
#include <memory>
#include <optional>

class QThreadPool;

// Scans a source tree on a thread of a pool, so that whoever waits can show
// the count and offer a cancel. The walk is the one the headless build runs.
class scan_job {
public:
    scan_job(const QString &source_text, const QString &patterns, const mark_paths &marks, QThreadPool *pool);

    QFuture<void> future() const { return future_; }

    // Files looked at so far; read from any thread.
    int files_seen() const;

    // Ends the walk soon. The job may be dropped at once: the worker keeps
    // what it uses until it has stopped.
    void cancel();

    // Waits for the walk; its tree, or nothing when the job was cancelled.
    std::optional<scan_result> wait();

private:
    struct shared_state {
        scan_progress progress;
        scan_result result;  // written by the worker, read after it has finished
    };

    std::shared_ptr<shared_state> state_;
    QFuture<void> future_;
};
