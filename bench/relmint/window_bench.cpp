// Opens a client tree in the real relmint window and measures what a user
// waits for: the scan until the tree is painted, a mark on a directory (which
// rebuilds the rows), a page of scrolling, and the peak resident memory.
// Prints one "name: value" line per figure. Run by window_bench.sh.
//
// Usage: relmint_window_bench TREE   (from an empty working directory, so
// that the window's first scan, of the working directory, costs nothing)
#include "node_tree_model.h"
#include "relmint.h"
#include "source_scan.h"
#include "suffix_rule.h"
#include "user_prompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Answers nothing and reports every message box on standard error.
class bench_prompts : public user_prompts {
public:
    QString choose_directory() override { return {}; }
    QString choose_file(const QString &) override { return {}; }
    bool confirm(QWidget *, const QString &, const QString &) override { return false; }
    void inform(const QString &title, const QString &text) override { report(title, text); }
    void warn(const QString &title, const QString &text) override { report(title, text); }
    void about(QWidget *, const QString &, const QString &) override {}

private:
    static void report(const QString &title, const QString &text)
    {
        std::fprintf(stderr, "message box %s: %s\n", qPrintable(title), qPrintable(text));
    }
};

// The time of the last paint of a widget.
class paint_clock : public QObject {
public:
    explicit paint_clock(QWidget *widget, const QElapsedTimer &clock) : clock_(clock)
    {
        widget->installEventFilter(this);
    }
    void arm() { painted_ = -1; }
    qint64 painted() const { return painted_; }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && painted_ < 0) {
            // Stamped after the paint itself has run.
            painted_ = -2;
            QCoreApplication::postEvent(this, new QEvent(QEvent::User));
        }
        return false;
    }
    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        painted_ = clock_.elapsed();
        return true;
    }

private:
    const QElapsedTimer &clock_;
    qint64 painted_ = 0;
};

// Runs the event loop until the next paint of the armed clock has ended;
// the time at which it did.
qint64 wait_for_paint(const paint_clock &paints)
{
    QElapsedTimer limit;
    limit.start();
    while (paints.painted() < 0 && limit.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return paints.painted();
}

void click(QWidget *viewport, const QPoint &position)
{
    QMouseEvent press(QEvent::MouseButtonPress, position, viewport->mapToGlobal(position), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, position, viewport->mapToGlobal(position), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    QApplication::sendEvent(viewport, &release);
}

long peak_resident_kb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

qint64 median(std::vector<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// A directory row near the top of the view, not the root.
QModelIndex directory_in_view(QTreeView *tree)
{
    const int row_height = tree->visualRect(tree->indexAt(QPoint(1, 1))).height();
    for (int y = 1; y < tree->viewport()->height(); y += std::max(1, row_height)) {
        const QModelIndex row = tree->indexAt(QPoint(1, y)).siblingAtColumn(0);
        if (row.parent().isValid() && tree->model()->hasChildren(row))
            return row;
    }
    return {};
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: relmint_window_bench TREE\n");
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);

    // The scan alone, as the headless build runs it; it also warms the cache.
    QElapsedTimer clock;
    clock.start();
    qsizetype nodes = 0;
    {
        const scan_result alone = scan_tree(source, default_patterns());
        nodes = node_count(alone.root);
    }
    const qint64 scan_ms = clock.elapsed();

    relmint window(std::make_unique<bench_prompts>());
    window.resize(1280, 800);
    window.show();
    QCoreApplication::processEvents();
    auto *tree = window.findChild<QTreeView *>(QStringLiteral("tv_dir"));
    QWidget *viewport = tree->viewport();
    paint_clock paints(viewport, clock);

    // Scan to shown: the refresh button's slot, then the first paint of the tree.
    window.findChild<QLineEdit *>(QStringLiteral("edt_src_path"))->setText(source);
    const qint64 scan_start = clock.elapsed();
    window.refresh_pattern();
    // Paints until now showed the tree before: the progress dialog's loop runs them.
    paints.arm();
    const qint64 shown = wait_for_paint(paints) - scan_start;

    // A mark on a directory in the middle of the tree, and its undo.
    QScrollBar *scroll = tree->verticalScrollBar();
    scroll->setValue(scroll->maximum() / 2);
    QCoreApplication::processEvents();
    const QModelIndex directory = directory_in_view(tree);
    if (!directory.isValid()) {
        std::fprintf(stderr, "no directory row in view\n");
        return 1;
    }
    const QModelIndex current = tree->indexAt(QPoint(1, viewport->height() / 2)).siblingAtColumn(0);
    tree->setCurrentIndex(current);
    QCoreApplication::processEvents();
    const QString current_name = current.data().toString();
    const QString top_name = tree->indexAt(QPoint(1, 1)).data().toString();
    const int scroll_before = scroll->value();
    const QPoint button =
        tree->visualRect(directory.siblingAtColumn(node_tree_model::ignore_column)).center();

    std::vector<qint64> marks;
    bool kept = true;
    bool toggled = true;
    for (const char *expected : {"取消", "忽略"}) {
        paints.arm();
        const qint64 start = clock.elapsed();
        click(viewport, button);
        marks.push_back(wait_for_paint(paints) - start);
        kept = kept && scroll->value() == scroll_before && tree->currentIndex().data().toString() == current_name
               && tree->indexAt(QPoint(1, 1)).data().toString() == top_name;
        toggled = toggled && tree->indexAt(button).data().toString() == QString::fromUtf8(expected);
    }
    if (!toggled) {
        std::fprintf(stderr, "the directory's button did not toggle its mark\n");
        return 1;
    }

    // Page scrolls, each painted before the next.
    std::vector<qint64> pages;
    scroll->setValue(0);
    QCoreApplication::processEvents();
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer page;
        page.start();
        scroll->setValue(scroll->value() + scroll->pageStep());
        viewport->repaint();
        pages.push_back(page.nsecsElapsed() / 1000);
    }

    std::printf("nodes: %lld\n", static_cast<long long>(nodes));
    std::printf("scan alone (ms): %lld\n", static_cast<long long>(scan_ms));
    std::printf("scan start to tree shown (ms): %lld\n", static_cast<long long>(shown));
    std::printf("after the scan (ms): %lld\n", static_cast<long long>(shown - scan_ms));
    std::printf("directory mark, ignore (ms): %lld\n", static_cast<long long>(marks[0]));
    std::printf("directory mark, undo (ms): %lld\n", static_cast<long long>(marks[1]));
    std::printf("scroll position and current row kept: %s\n", kept ? "yes" : "NO");
    std::printf("page scroll, median (us): %lld\n", static_cast<long long>(median(pages)));
    std::printf("page scroll, slowest (us): %lld\n",
                static_cast<long long>(*std::max_element(pages.begin(), pages.end())));
    std::printf("peak resident memory (MB): %.1f\n", peak_resident_kb() / 1024.0);
    return kept ? 0 : 1;
}
