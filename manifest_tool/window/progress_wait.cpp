#include "progress_wait.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

namespace {

// Shorter work is over before a dialog could be read; showing one for every
// small rescan would only flicker.
constexpr qint64 quiet_ms = 250;
constexpr int refresh_ms = 100;

} // namespace

bool wait_with_progress(QWidget *parent, const QFuture<void> &work, const progress_view &view)
{
    QElapsedTimer waited;
    waited.start();
    while (!work.isFinished() && waited.elapsed() < quiet_ms)
        QThread::msleep(2);
    if (work.isFinished())
        return true;

    QProgressDialog dialog(view.label(view.done()), QStringLiteral("取消"), 0, view.maximum, parent);
    dialog.setWindowTitle(view.title);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(0);

    // The count is polled: a signal per file would flood the event queue.
    QTimer refresh;
    QObject::connect(&refresh, &QTimer::timeout, &dialog, [&] {
        const int done = view.done();
        dialog.setLabelText(view.label(done));
        if (view.maximum > 0)
            dialog.setValue(done);
    });
    refresh.start(refresh_ms);

    QFutureWatcher<void> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &dialog, &QDialog::accept);
    watcher.setFuture(work);

    return dialog.exec() == QDialog::Accepted && !dialog.wasCanceled();
}
