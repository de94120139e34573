#pragma once

#include "relmint.h"
#include "scripted_prompts.h"

#include <QByteArray>
#include <QDomDocument>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTreeWidget>
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
    QTreeWidget *tree();

    // Sets the source path and presses the refresh button.
    void scan(const QString &source_path);

    // The row at `names` below the root row (the root row for an empty list);
    // null when there is no such row.
    QTreeWidgetItem *row(const QStringList &names = {});
    QPushButton *ignore_button(const QStringList &names = {});
    QPushButton *zip_button(const QStringList &names = {});
    // The texts of every row, depth first, as "a/b/c" below the root.
    QStringList row_paths();

    // Clicks a row button as a mouse would.
    void click(QPushButton *button);

private:
    scripted_prompts *prompts_;  // owned by the window
    std::unique_ptr<relmint> window_;
};

// A mark array ("ignores" or "zips") of a project file.
QStringList read_mark_array(const QString &project, const QString &array);
void write_mark_array(const QString &project, const QString &array, const QStringList &paths);

// Figures computed without Qt: the coreutils md5sum and stat of a file.
QString md5sum_of(const QString &path);
qint64 stat_size_of(const QString &path);

// The manifest as a DOM, and the element for a chain of names below its root.
QDomDocument read_manifest(const QString &path);
QDomElement manifest_entry(const QDomDocument &manifest, const QStringList &names);
