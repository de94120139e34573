#pragma once

#include "digest_job.h"
#include "file_node.h"
#include "mark_paths.h"
#include "project_file.h"
#include "source_scan.h"
#include "user_prompts.h"

#include <QMainWindow>
#include <memory>
#include <optional>

class QModelIndex;
class QThreadPool;
class node_tree_model;

namespace Ui {
class relmint;
}

// The release manifest builder's window: the project's settings in line
// edits, the scanned source tree with a button per mark on every row, and
// the actions that open, save and build a project. Scans and hashing run on
// work_pool() behind a progress dialog that can cancel them.
class relmint : public QMainWindow {
    Q_OBJECT

public:
    // Starts with a new, unsaved project and its scan. Without `prompts` the
    // window asks through modal Qt dialogs.
    explicit relmint(std::unique_ptr<user_prompts> prompts = nullptr);
    ~relmint() override;

    // Opens the project at `path` as the open action does after its dialog.
    void open_project(const QString &path);

    // The threads that scan and hash for the window. Not Qt's global pool:
    // painting uses that one and would wait behind a long hash, freezing
    // the window.
    static QThreadPool *work_pool();

public slots:
    void set_loadfrom_dir();
    void set_saveto_dir();
    void set_zipfile();
    void refresh_pattern();
    void save_result();
    void reset_patterns();
    // The four mark toggles; `row` is any cell of the row whose node changes.
    void ignore_item(const QModelIndex &row);
    void undo_ignore_item(const QModelIndex &row);
    void in_zip(const QModelIndex &row);
    void not_in_zip(const QModelIndex &row);
    void on_new_file();
    void on_save_file();
    void on_open_file();
    void on_about();

private:
    // What a cancelled scan of a project load leaves.
    enum class on_cancel {
        keep_window,      // the window as it was before the load
        show_root_alone,  // the project without its tree: at start-up there is nothing to go back to
    };

    void start_new_project(on_cancel cancelled);
    bool load_project(const QString &project_path, on_cancel cancelled);
    bool save_project(bool show_message);

    // Scans behind the progress dialog; nothing when the user cancelled.
    std::optional<scan_result> scan_with_progress(const QString &source_text, const QString &patterns,
                                                  const mark_paths &marks);
    // Shows a freshly scanned tree, and warns of the directories it could not read.
    void show_tree(scan_result scanned);
    // Builds the rows again after a directory's mark changed, keeping the
    // scroll position and the current row.
    void rebuild_tree();
    void row_button_released(const QModelIndex &cell);
    void set_mark(const QModelIndex &row, int file_node::*mark, int value);

    project_fields fields_from_form() const;
    void show_fields(const project_fields &fields);

    // Runs the hashing behind the progress dialog; nothing when cancelled.
    std::optional<QList<file_digest>> hash_with_progress(digest_job &job, int file_count);

    std::unique_ptr<Ui::relmint> ui_;
    std::unique_ptr<user_prompts> prompts_;
    // The scanned tree and its rows; owned by the window.
    node_tree_model *model_;
};
