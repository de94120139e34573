#pragma once

#include "relmint.h"
#include "scripted_prompts.h"

#include <QByteArray>
#include <QDomDocument>
#include <QIcon>
#include <QPersistentModelIndex>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QSemaphore>
#include <QTimer>
#include <QTreeView>
#include <memory>

class QLineEdit;

// A scratch directory with a source tree in it.
class scratch_dir {
public:
    scratch_dir();
    QString path(const QString &relative = {}) const;
    // Creates the file (and its directories) with the given content.
    QString write(const QString &relative, const QByteArray &content = "x");
    QString make_dir(const QString &relative);
    QByteArray read(const QString &relative) const;

private:
    QTemporaryDir dir_;
};

// One of the two buttons of a row, read from what the tree shows.
class row_button {
public:
    row_button() = default;
    explicit row_button(const QModelIndex &cell) : cell_(cell) {}

    explicit operator bool() const { return cell_.isValid(); }
    QModelIndex cell() const { return cell_; }
    QString text() const;
    // The style sheet a button widget of this row would carry.
    QString style_sheet() const;

private:
    QPersistentModelIndex cell_;  // invalid once the rows are rebuilt
};

// The real window with scripted prompts, shown on the offscreen platform.
class window_under_test {
public:
    window_under_test();
    ~window_under_test();

    relmint &window() { return *window_; }
    scripted_prompts &prompts() { return *prompts_; }

    QLineEdit *edit(const char *object_name);
    QPushButton *button(const char *object_name);
    void trigger(const char *action_name);
    QTreeView *tree();

    // Sets the source path and presses the refresh button.
    void scan(const QString &source_path);

    // The row (column 0) at `names` below the root row (the root row for an
    // empty list); invalid when there is no such row.
    QModelIndex row(const QStringList &names = {});
    QIcon row_icon(const QStringList &names = {});
    row_button ignore_button(const QStringList &names = {});
    row_button zip_button(const QStringList &names = {});
    // The button in `column` (1 ignore, 2 archive) of a row.
    row_button button_at(const QModelIndex &row, int column);
    // The texts of every row, depth first, as "a/b/c" below the root.
    QStringList row_paths();

    // Clicks a row button as a mouse would, scrolling it into view first.
    void click(const row_button &button);

private:
    scripted_prompts *prompts_;  // owned by the window
    std::unique_ptr<relmint> window_;
};

// Answers the next progress dialog of the window (a scan's or a hashing's)
// with its cancel button. Until then the window's work pool is held at one
// busy worker, so the work cannot end before the dialog is answered.
class cancel_next_progress {
public:
    cancel_next_progress();
    ~cancel_next_progress();

    bool dialog_shown() const { return shown_; }
    bool dialog_modal() const { return modal_; }
    QString dialog_label() const { return label_; }

private:
    void answer();
    void let_go();

    int threads_;
    QSemaphore started_;
    QSemaphore hold_;
    bool held_ = true;
    QTimer poll_;
    bool shown_ = false;
    bool modal_ = false;
    QString label_;
};

// What a run of the real relmint program left.
struct run_result {
    int exit_code = -1;  // -1 when it crashed
    QString out;
    QString err;
};

// Runs a program (first of `command`) with no display at all, in
// `working_directory` when one is given.
run_result run_without_display(const QStringList &command, const QString &working_directory = {});
// The relmint program of this build.
QString relmint_binary();
run_result run_relmint(const QStringList &arguments);

// A mark array ("ignores" or "zips") of a project file.
QStringList read_mark_array(const QString &project, const QString &array);
void write_mark_array(const QString &project, const QString &array, const QStringList &paths);

// Figures computed without Qt: the coreutils md5sum and stat of a file.
QString md5sum_of(const QString &path);
qint64 stat_size_of(const QString &path);

// The manifest as a DOM, and the element for a chain of names below its root.
QDomDocument read_manifest(const QString &path);
QDomElement manifest_entry(const QDomDocument &manifest, const QStringList &names);
