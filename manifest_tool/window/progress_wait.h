#pragma once

#include <QFuture>
#include <QString>
#include <functional>

class QWidget;

// How a wait for work off the GUI thread is shown.
struct progress_view {
    QString title;
    std::function<QString(int)> label;  // the dialog's text for the count done so far
    int maximum = 0;                    // the count at the end; 0 when not known (the bar only shows activity)
    std::function<int()> done;          // the count done so far; called on the GUI thread
};

// Waits for `work` on the GUI thread. Work that ends within a moment shows
// nothing; longer work shows a window-modal progress dialog with the count
// and a cancel button. Returns false when the user cancelled or closed the
// dialog, even if the work ended in that instant: the user's answer counts.
bool wait_with_progress(QWidget *parent, const QFuture<void> &work, const progress_view &view);
