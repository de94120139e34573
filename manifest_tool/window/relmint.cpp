#include "relmint.h"

#include "dialog_prompts.h"
#include "node_tree_model.h"
#include "progress_wait.h"
#include "release_build.h"
#include "row_button_delegate.h"
#include "scan_job.h"
#include "ui_relmint.h"

#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QScrollBar>
#include <QThreadPool>

namespace {

// Numbers the new projects of this process; never reset.
int new_project_seq = 1;

const QString title_hint = QStringLiteral("提示");
const QString title_warning = QStringLiteral("警告");

Q_GLOBAL_STATIC(QThreadPool, shared_work_pool)

// The first few of many paths, for a message box; a path of thousands of
// characters keeps its two ends.
QString first_paths(const QStringList &paths)
{
    constexpr int shown = 5;
    constexpr int longest = 200;
    QStringList lines;
    for (const QString &path : paths.mid(0, shown))
        lines.append(path.size() <= longest ? path : path.left(80) + QStringLiteral("……") + path.right(longest - 80));
    QString text = lines.join(QLatin1Char('\n'));
    if (paths.size() > shown)
        text += QStringLiteral("\n……（另有%1个）").arg(paths.size() - shown);
    return text;
}

} // namespace

// Outside any namespace: Q_INIT_RESOURCE declares the collection's global
// initialiser. The icons must be there for a window that a test creates.
static void register_resources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(relmint);
        return true;
    }();
    Q_UNUSED(registered);
}

relmint::relmint(std::unique_ptr<user_prompts> prompts)
    : QMainWindow(nullptr), ui_(std::make_unique<Ui::relmint>()),
      prompts_(prompts ? std::move(prompts) : std::make_unique<dialog_prompts>()),
      model_(new node_tree_model(this))
{
    register_resources();
    ui_->setupUi(this);

    ui_->tv_dir->setModel(model_);
    auto *buttons = new row_button_delegate(ui_->tv_dir);
    ui_->tv_dir->setItemDelegateForColumn(node_tree_model::ignore_column, buttons);
    ui_->tv_dir->setItemDelegateForColumn(node_tree_model::zip_column, buttons);
    connect(buttons, &row_button_delegate::button_released, this, &relmint::row_button_released);

    connect(ui_->new_file, &QAction::triggered, this, &relmint::on_new_file);
    connect(ui_->open_file, &QAction::triggered, this, &relmint::on_open_file);
    connect(ui_->build_version, &QAction::triggered, this, &relmint::save_result);
    connect(ui_->about, &QAction::triggered, this, &relmint::on_about);
    connect(ui_->save_file, &QAction::triggered, this, &relmint::on_save_file);
    connect(ui_->browse_loadp, &QPushButton::released, this, &relmint::set_loadfrom_dir);
    connect(ui_->browse_savep, &QPushButton::released, this, &relmint::set_saveto_dir);
    connect(ui_->browse_zipp, &QPushButton::released, this, &relmint::set_zipfile);
    connect(ui_->btn_refresh_pattern, &QPushButton::released, this, &relmint::refresh_pattern);
    connect(ui_->btn_reset, &QPushButton::released, this, &relmint::reset_patterns);

    ui_->tv_dir->setColumnWidth(node_tree_model::ignore_column, 100);
    ui_->tv_dir->setColumnWidth(node_tree_model::zip_column, 100);

    start_new_project(on_cancel::show_root_alone);
}

relmint::~relmint() = default;

QThreadPool *relmint::work_pool()
{
    return shared_work_pool();
}

void relmint::open_project(const QString &path)
{
    load_project(path, on_cancel::keep_window);
}

// --- project file ---------------------------------------------------------

void relmint::on_new_file()
{
    start_new_project(on_cancel::keep_window);
}

void relmint::start_new_project(on_cancel cancelled)
{
    // The number is taken only by a project that is shown.
    const QString path = QDir::currentPath() + QStringLiteral("/new_project") + QString::number(new_project_seq)
                         + QStringLiteral(".ini");
    if (load_project(path, cancelled))
        ++new_project_seq;
}

void relmint::on_open_file()
{
    const QString path = prompts_->choose_file(QStringLiteral("ini file (*.ini)"));
    if (!path.isEmpty())
        open_project(path);
}

void relmint::on_save_file()
{
    save_project(true);
}

bool relmint::load_project(const QString &project_path, on_cancel cancelled)
{
    const project_contents contents = read_project(project_path);
    project_fields fields = fields_from_form();
    apply_project(contents, fields);

    // Nothing is shown before the scan is through, so a cancel has nothing to undo.
    std::optional<scan_result> scanned = scan_with_progress(fields.loadfrom, fields.patterns, contents.marks);
    if (!scanned) {
        if (cancelled == on_cancel::keep_window)
            return false;
        scanned.emplace();
        scanned->root = unscanned_root(fields.loadfrom, contents.marks);
    }

    ui_->edt_project->setText(project_path);
    show_fields(fields);
    const QStringList dropped = unmatched_marks(scanned->root, contents.marks);
    show_tree(std::move(*scanned));
    if (!dropped.isEmpty()) {
        // Said before the user can save the project without them.
        prompts_->warn(title_warning,
                       QStringLiteral("工程中有%1个标记的路径在要构建版本的位置中找不到，这些标记已被丢弃，"
                                      "保存工程时不会再写入：\n%2")
                           .arg(dropped.size())
                           .arg(first_paths(dropped)));
    }
    return true;
}

bool relmint::save_project(bool show_message)
{
    if (!write_project(ui_->edt_project->text(), fields_from_form(), model_->root())) {
        prompts_->warn(title_warning, QStringLiteral("无法保存工程文件%1！").arg(ui_->edt_project->text()));
        return false;
    }
    if (show_message)
        prompts_->inform(title_hint, QStringLiteral("工程文件保存成功！"));
    return true;
}

project_fields relmint::fields_from_form() const
{
    project_fields fields;
    fields.loadfrom = ui_->edt_src_path->text();
    fields.patterns = ui_->edt_patterns->text();
    fields.saveto = ui_->edt_save_path->text();
    fields.version = ui_->edt_version->text();
    fields.zipfile = ui_->edt_zip->text();
    fields.zipsize = ui_->edt_size->text();
    fields.zipsign = ui_->edt_sign->text();
    return fields;
}

void relmint::show_fields(const project_fields &fields)
{
    ui_->edt_src_path->setText(fields.loadfrom);
    ui_->edt_patterns->setText(fields.patterns);
    ui_->edt_save_path->setText(fields.saveto);
    ui_->edt_version->setText(fields.version);
    ui_->edt_zip->setText(fields.zipfile);
    ui_->edt_size->setText(fields.zipsize);
    ui_->edt_sign->setText(fields.zipsign);
}

// --- scan and marks -------------------------------------------------------

void relmint::set_loadfrom_dir()
{
    const QString chosen = prompts_->choose_directory();
    if (chosen.isEmpty())
        return;
    if (chosen != ui_->edt_src_path->text()
        && !prompts_->confirm(this, QStringLiteral("确认"),
                              QStringLiteral("重新设置路径会丢失所有改动，确定要执行吗？"))) {
        return;
    }
    std::optional<scan_result> scanned = scan_with_progress(chosen, ui_->edt_patterns->text(), {});
    if (!scanned)
        return;
    ui_->edt_src_path->setText(chosen);
    show_tree(std::move(*scanned));
}

void relmint::refresh_pattern()
{
    std::optional<scan_result> scanned = scan_with_progress(ui_->edt_src_path->text(), ui_->edt_patterns->text(), {});
    if (scanned)
        show_tree(std::move(*scanned));
}

void relmint::reset_patterns()
{
    ui_->edt_patterns->setText(project_fields::initial().patterns);
}

std::optional<scan_result> relmint::scan_with_progress(const QString &source_text, const QString &patterns,
                                                       const mark_paths &marks)
{
    scan_job job(source_text, patterns, marks, work_pool());
    const progress_view view{
        QStringLiteral("扫描目录"),
        [](int files) { return QStringLiteral("正在扫描要构建版本的位置，已查看%1个文件...").arg(files); },
        0,
        [&job] { return job.files_seen(); },
    };
    if (!wait_with_progress(this, job.future(), view)) {
        job.cancel();
        return std::nullopt;
    }
    return job.wait();
}

void relmint::show_tree(scan_result scanned)
{
    model_->replace_tree(std::move(scanned.root));
    ui_->tv_dir->expandAll();
    if (!scanned.unreadable.isEmpty()) {
        prompts_->warn(title_warning, QStringLiteral("有%1个目录无法读取，其中的文件没有列出：\n%2")
                                          .arg(scanned.unreadable.size())
                                          .arg(first_paths(scanned.unreadable)));
    }
}

void relmint::rebuild_tree()
{
    QTreeView *view = ui_->tv_dir;
    // Where the user is: the row at the top of the view, how far it is
    // scrolled out, and the current row.
    const QModelIndex top = view->indexAt(QPoint(0, 0));
    const file_node *top_node = model_->node_at(top);
    const int top_offset = top.isValid() ? view->visualRect(top).top() : 0;
    const QModelIndex current = view->currentIndex();
    const file_node *current_node = model_->node_at(current);
    const bool current_selected = view->selectionModel()->isSelected(current);
    const int horizontal = view->horizontalScrollBar()->value();

    model_->rebuild();
    view->expandAll();

    // The current row first: making it current may scroll to it.
    if (current_node) {
        const QModelIndex row = model_->row_of(current_node).siblingAtColumn(current.column());
        view->selectionModel()->setCurrentIndex(
            row, current_selected ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                                  : QItemSelectionModel::NoUpdate);
    }
    if (top_node) {
        view->scrollTo(model_->row_of(top_node), QAbstractItemView::PositionAtTop);
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->value() - top_offset);
    }
    view->horizontalScrollBar()->setValue(horizontal);
}

void relmint::row_button_released(const QModelIndex &cell)
{
    const file_node *node = model_->node_at(cell);
    if (!node)
        return;
    // Each button calls the slot its text offers, as its button group did.
    if (cell.column() == node_tree_model::ignore_column)
        node->ignored ? undo_ignore_item(cell) : ignore_item(cell);
    else
        node->zipped ? not_in_zip(cell) : in_zip(cell);
}

void relmint::ignore_item(const QModelIndex &row)
{
    set_mark(row, &file_node::ignored, 1);
}

void relmint::undo_ignore_item(const QModelIndex &row)
{
    set_mark(row, &file_node::ignored, 0);
}

void relmint::in_zip(const QModelIndex &row)
{
    set_mark(row, &file_node::zipped, 1);
}

void relmint::not_in_zip(const QModelIndex &row)
{
    set_mark(row, &file_node::zipped, 0);
}

void relmint::set_mark(const QModelIndex &row, int file_node::*mark, int value)
{
    const file_node *node = model_->node_at(row);
    if (!node)
        return;
    model_->set_mark(row, mark, value);
    // A directory's mark shows or hides its subtree and recolours its buttons.
    if (node->is_dir)
        rebuild_tree();
}

// --- manifest -------------------------------------------------------------

void relmint::save_result()
{
    release_build build(ui_->edt_project->text(), fields_from_form(), model_->root());
    const int file_count = listed_files(model_->root()).size();
    const release_result result = build.run(work_pool(), [&](digest_job &job) {
        return hash_with_progress(job, file_count);
    });

    switch (result) {
    case release_result::built:
        ui_->edt_version->setText(build.fields().version);
        prompts_->inform(title_hint, QStringLiteral("版本已生成！"));
        break;
    case release_result::archive_fields_unpaired:
        prompts_->warn(title_warning, QStringLiteral("压缩包的大小和MD5必须同时填写或同时留空！"));
        break;
    case release_result::manifest_unwritable:
        prompts_->warn(title_warning, QStringLiteral("无法写入version_config.xml!"));
        break;
    case release_result::project_unwritable:
        prompts_->warn(title_warning,
                       QStringLiteral("无法保存工程文件%1，版本未生成！").arg(ui_->edt_project->text()));
        break;
    case release_result::cancelled:
        break;
    }
}

void relmint::set_zipfile()
{
    const QString path = prompts_->choose_file(QStringLiteral("zip file (*.zip)"));
    if (path.isEmpty())
        return;
    digest_job job({path}, work_pool());
    const std::optional<QList<file_digest>> digests = hash_with_progress(job, 1);
    if (!digests)
        return;
    const file_digest &digest = digests->constFirst();
    ui_->edt_zip->setText(QFileInfo(path).fileName());
    if (digest.hashed)
        ui_->edt_sign->setText(digest.text);
    ui_->edt_size->setText(QString::number(digest.size));
}

void relmint::set_saveto_dir()
{
    const QString chosen = prompts_->choose_directory();
    if (!chosen.isEmpty())
        ui_->edt_save_path->setText(chosen);
}

std::optional<QList<file_digest>> relmint::hash_with_progress(digest_job &job, int file_count)
{
    const QFuture<file_digest> hashing = job.future();
    const progress_view view{
        QStringLiteral("构造版本"),
        [](int) { return QStringLiteral("正在计算文件的MD5..."); },
        file_count,
        [hashing] { return hashing.progressValue(); },
    };
    if (!wait_with_progress(this, QFuture<void>(hashing), view))
        job.cancel();
    return job.wait();
}

void relmint::on_about()
{
    prompts_->about(this, QStringLiteral("关于软件"),
                    QStringLiteral("relmint 版本清单构造工具\n\n"
                                   "扫描客户端目录，标记要忽略的文件和压缩包内的文件，"
                                   "生成带有文件大小和MD5的版本清单 version_config.xml。"));
}
