#include "relmint.h"

#include "dialog_prompts.h"
#include "release_build.h"
#include "row_look.h"
#include "source_scan.h"
#include "ui_relmint.h"

#include <QButtonGroup>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QPushButton>
#include <QThreadPool>

namespace {

// Numbers the new projects of this process; never reset.
int new_project_seq = 1;

const QString title_hint = QStringLiteral("提示");
const QString title_warning = QStringLiteral("警告");

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
      hash_pool_(new QThreadPool(this))
{
    register_resources();
    hash_pool_->setObjectName(QStringLiteral("hash_pool"));
    ui_->setupUi(this);

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

    ui_->tv_dir->setColumnWidth(1, 100);
    ui_->tv_dir->setColumnWidth(2, 100);

    on_new_file();
}

relmint::~relmint() = default;

void relmint::open_project(const QString &path)
{
    ui_->edt_project->setText(path);
    load_project();
}

// --- project file ---------------------------------------------------------

void relmint::on_new_file()
{
    const int number = new_project_seq++;
    ui_->edt_project->setText(QDir::currentPath() + QStringLiteral("/new_project") + QString::number(number)
                              + QStringLiteral(".ini"));
    load_project();
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

void relmint::load_project()
{
    const project_contents contents = read_project(ui_->edt_project->text());
    project_fields fields = fields_from_form();
    apply_project(contents, fields);
    show_fields(fields);
    scan_source(contents.marks);
    rebuild_tree();
}

bool relmint::save_project(bool show_message)
{
    if (!write_project(ui_->edt_project->text(), fields_from_form(), root_node_)) {
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
    ui_->edt_src_path->setText(chosen);
    root_node_.reset();
    scan_source();
    rebuild_tree();
}

void relmint::refresh_pattern()
{
    scan_source();
    rebuild_tree();
}

void relmint::reset_patterns()
{
    ui_->edt_patterns->setText(project_fields::initial().patterns);
}

void relmint::scan_source(const mark_paths &marks)
{
    root_node_ = ::scan_source(ui_->edt_src_path->text(), ui_->edt_patterns->text(), marks);
}

void relmint::rebuild_tree()
{
    ui_->tv_dir->clear();
    button_nodes_.clear();

    // The old groups may be the sender of the signal being handled.
    for (QButtonGroup *group : {ignore_group_, undo_ignore_group_, in_zip_group_, not_in_zip_group_}) {
        if (group)
            group->deleteLater();
    }
    const auto make_group = [this](void (relmint::*slot)(QAbstractButton *)) {
        auto *group = new QButtonGroup(this);
        connect(group, &QButtonGroup::buttonReleased, this, slot);
        return group;
    };
    ignore_group_ = make_group(&relmint::ignore_item);
    undo_ignore_group_ = make_group(&relmint::undo_ignore_item);
    in_zip_group_ = make_group(&relmint::in_zip);
    not_in_zip_group_ = make_group(&relmint::not_in_zip);

    fill_item(root_node_, new QTreeWidgetItem(ui_->tv_dir));
    ui_->tv_dir->expandAll();
}

void relmint::fill_item(file_node &node, QTreeWidgetItem *row)
{
    node.item = row;
    row->setText(0, QFileInfo(node.path).fileName());
    row->setIcon(0, row_look::row_icon(node.ignored));

    auto *ignore_button = new QPushButton(row_look::ignore_text(node.ignored));
    (node.ignored ? undo_ignore_group_ : ignore_group_)->addButton(ignore_button);
    ignore_button->setStyleSheet(row_look::ignore_style(node));
    button_nodes_[ignore_button] = &node;
    ui_->tv_dir->setItemWidget(row, 1, ignore_button);

    auto *zip_button = new QPushButton(row_look::zip_text(node.zipped));
    (node.zipped ? not_in_zip_group_ : in_zip_group_)->addButton(zip_button);
    zip_button->setStyleSheet(row_look::zip_style(node));
    button_nodes_[zip_button] = &node;
    ui_->tv_dir->setItemWidget(row, 2, zip_button);

    if (node.is_dir && !node.ignored) {
        for (file_node &child : node.children)
            fill_item(child, new QTreeWidgetItem(row));
    }
}

void relmint::ignore_item(QAbstractButton *button)
{
    set_mark(button, &file_node::ignored, 1);
}

void relmint::undo_ignore_item(QAbstractButton *button)
{
    set_mark(button, &file_node::ignored, 0);
}

void relmint::in_zip(QAbstractButton *button)
{
    set_mark(button, &file_node::zipped, 1);
}

void relmint::not_in_zip(QAbstractButton *button)
{
    set_mark(button, &file_node::zipped, 0);
}

void relmint::set_mark(QAbstractButton *button, int file_node::*mark, int value)
{
    const auto found = button_nodes_.find(button);
    if (found == button_nodes_.end())
        return;
    file_node &node = *found->second;
    node.*mark = value;
    if (node.is_dir) {
        // Shows or hides the subtree and recolours its buttons.
        rebuild_tree();
        return;
    }

    const bool marked = value == 1;
    const bool ignore_mark = mark == &file_node::ignored;
    if (ignore_mark)
        node.item->setIcon(0, row_look::row_icon(marked));
    button->setText(ignore_mark ? row_look::ignore_text(marked) : row_look::zip_text(marked));
    button->setStyleSheet(row_look::toggled_style(marked));
    QButtonGroup *unmarked_group = ignore_mark ? ignore_group_ : in_zip_group_;
    QButtonGroup *marked_group = ignore_mark ? undo_ignore_group_ : not_in_zip_group_;
    (marked ? unmarked_group : marked_group)->removeButton(button);
    (marked ? marked_group : unmarked_group)->addButton(button);
}

// --- manifest -------------------------------------------------------------

void relmint::save_result()
{
    release_build build(ui_->edt_project->text(), fields_from_form(), root_node_);
    const int file_count = listed_files(root_node_).size();
    const release_result result = build.run(hash_pool_, [&](digest_job &job) {
        return wait_with_progress(job, file_count);
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
    digest_job job({path}, hash_pool_);
    const std::optional<QList<file_digest>> digests = wait_with_progress(job, 1);
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

std::optional<QList<file_digest>> relmint::wait_with_progress(digest_job &job, int file_count)
{
    QProgressDialog dialog(QStringLiteral("正在计算文件的MD5..."), QStringLiteral("取消"), 0, file_count, this);
    dialog.setWindowTitle(QStringLiteral("构造版本"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(0);

    QFutureWatcher<file_digest> watcher;
    connect(&watcher, &QFutureWatcherBase::progressValueChanged, &dialog, &QProgressDialog::setValue);
    connect(&watcher, &QFutureWatcherBase::finished, &dialog, &QDialog::accept);
    watcher.setFuture(job.future());

    // Closing the dialog any other way than by the end of the hashing cancels it.
    const bool finished = dialog.exec() == QDialog::Accepted && !dialog.wasCanceled();
    if (!finished)
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
