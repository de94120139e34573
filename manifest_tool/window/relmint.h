#pragma once

#include "digest_job.h"
#include "file_node.h"
#include "mark_paths.h"
#include "project_file.h"
#include "user_prompts.h"

#include <QMainWindow>
#include <map>
#include <memory>

class QAbstractButton;
class QButtonGroup;
class QThreadPool;
class QTreeWidgetItem;

namespace Ui {
class relmint;
}

// The release manifest builder's window: the project's settings in line
// edits, the scanned source tree with a button per mark on every row, and
// the actions that open, save and build a project.
class relmint : public QMainWindow {
    Q_OBJECT

public:
    // Starts with a new, unsaved project and its scan. Without `prompts` the
    // window asks through modal Qt dialogs.
    explicit relmint(std::unique_ptr<user_prompts> prompts = nullptr);
    ~relmint() override;

    // Opens the project at `path` as the open action does after its dialog.
    void open_project(const QString &path);

public slots:
    void set_loadfrom_dir();
    void set_saveto_dir();
    void set_zipfile();
    void refresh_pattern();
    void save_result();
    void reset_patterns();
    void ignore_item(QAbstractButton *button);
    void undo_ignore_item(QAbstractButton *button);
    void in_zip(QAbstractButton *button);
    void not_in_zip(QAbstractButton *button);
    void on_new_file();
    void on_save_file();
    void on_open_file();
    void on_about();

private:
    void load_project();
    bool save_project(bool show_message);

    void scan_source(const mark_paths &marks = {});
    void rebuild_tree();
    void fill_item(file_node &node, QTreeWidgetItem *row);
    void set_mark(QAbstractButton *button, int file_node::*mark, int value);

    project_fields fields_from_form() const;
    void show_fields(const project_fields &fields);

    // Runs the hashing behind a modal progress dialog that can cancel it.
    std::optional<QList<file_digest>> wait_with_progress(digest_job &job, int file_count);

    std::unique_ptr<Ui::relmint> ui_;
    std::unique_ptr<user_prompts> prompts_;
    // Hashing has a pool of its own: Qt's painting uses the global pool and
    // would wait behind a long hash, freezing the window.
    QThreadPool *hash_pool_;

    // The scanned tree; every scan is followed by a rebuild of the rows, so
    // the node pointers of button_nodes_ always point into this tree.
    file_node root_node_;
    std::map<QAbstractButton *, file_node *> button_nodes_;
    QButtonGroup *ignore_group_ = nullptr;
    QButtonGroup *undo_ignore_group_ = nullptr;
    QButtonGroup *in_zip_group_ = nullptr;
    QButtonGroup *not_in_zip_group_ = nullptr;
};
