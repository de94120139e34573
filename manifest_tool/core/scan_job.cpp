#include "scan_job.h"

#include <QtConcurrent/QtConcurrentRun>

scan_job::scan_job(const QString &source_text, const QString &patterns, const mark_paths &marks, QThreadPool *pool)
    : state_(std::make_shared<shared_state>())
{
    future_ = QtConcurrent::run(pool, [state = state_, source_text, patterns, marks] {
        state->result = scan_tree(source_text, patterns, marks, &state->progress);
    });
}

int scan_job::files_seen() const
{
    return state_->progress.files.load(std::memory_order_relaxed);
}

void scan_job::cancel()
{
    state_->progress.stop.store(true);
}

std::optional<scan_result> scan_job::wait()
{
    future_.waitForFinished();
    if (state_->progress.stop.load())
        return std::nullopt;
    return std::move(state_->result);
}
