#include "relmint_fixture.h"

#include "node_tree_model.h"
#include "relmint.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLabel>
#include <QProcess>
#include <QProgressDialog>
#include <QSettings>
#include <QTest>
#include <QThreadPool>

scratch_dir::scratch_dir()
{
    Q_ASSERT(dir_.isValid());
}

QString scratch_dir::path(const QString &relative) const
{
    return relative.isEmpty() ? dir_.path() : dir_.filePath(relative);
}

QString scratch_dir::write(const QString &relative, const QByteArray &content)
{
    const QString full = path(relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(full));
    return full;
}

QString scratch_dir::make_dir(const QString &relative)
{
    QDir().mkpath(path(relative));
    return path(relative);
}

QByteArray scratch_dir::read(const QString &relative) const
{
    QFile file(path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

window_under_test::window_under_test()
{
    auto prompts = std::make_unique<scripted_prompts>();
    prompts_ = prompts.get();
    window_ = std::make_unique<relmint>(std::move(prompts));
    window_->show();
    if (!QTest::qWaitForWindowExposed(window_.get()))
        qFatal("the window was not exposed");
}

window_under_test::~window_under_test() = default;

QLineEdit *window_under_test::edit(const char *object_name)
{
    auto *found = window_->findChild<QLineEdit *>(QString::fromLatin1(object_name));
    Q_ASSERT(found);
    return found;
}

QPushButton *window_under_test::button(const char *object_name)
{
    auto *found = window_->findChild<QPushButton *>(QString::fromLatin1(object_name));
    Q_ASSERT(found);
    return found;
}

void window_under_test::trigger(const char *action_name)
{
    auto *action = window_->findChild<QAction *>(QString::fromLatin1(action_name));
    Q_ASSERT(action);
    action->trigger();
}

QTreeView *window_under_test::tree()
{
    auto *found = window_->findChild<QTreeView *>(QStringLiteral("tv_dir"));
    Q_ASSERT(found);
    return found;
}

void window_under_test::scan(const QString &source_path)
{
    edit("edt_src_path")->setText(source_path);
    QTest::mouseClick(button("btn_refresh_pattern"), Qt::LeftButton);
}

QModelIndex window_under_test::row(const QStringList &names)
{
    const QAbstractItemModel *model = tree()->model();
    QModelIndex current = model->index(0, 0);
    for (const QString &name : names) {
        QModelIndex next;
        for (int i = 0; current.isValid() && i < model->rowCount(current); ++i) {
            if (model->index(i, 0, current).data().toString() == name)
                next = model->index(i, 0, current);
        }
        current = next;
    }
    return current;
}

QIcon window_under_test::row_icon(const QStringList &names)
{
    return row(names).data(Qt::DecorationRole).value<QIcon>();
}

row_button window_under_test::button_at(const QModelIndex &row, int column)
{
    return row_button(row.isValid() ? row.siblingAtColumn(column) : QModelIndex());
}

row_button window_under_test::ignore_button(const QStringList &names)
{
    return button_at(row(names), 1);
}

row_button window_under_test::zip_button(const QStringList &names)
{
    return button_at(row(names), 2);
}

static void collect_row_paths(const QModelIndex &row, const QString &prefix, QStringList &out)
{
    const QAbstractItemModel *model = row.model();
    for (int i = 0; i < model->rowCount(row); ++i) {
        const QModelIndex child = model->index(i, 0, row);
        const QString path = prefix + child.data().toString();
        out.append(path);
        collect_row_paths(child, path + QLatin1Char('/'), out);
    }
}

QStringList window_under_test::row_paths()
{
    QStringList out;
    if (const QModelIndex root = row(); root.isValid())
        collect_row_paths(root, QString(), out);
    return out;
}

void window_under_test::click(const row_button &button)
{
    Q_ASSERT(button);
    // The buttons are painted, so only those in view can be hit.
    QTreeView *view = tree();
    view->scrollTo(button.cell());
    QApplication::processEvents();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(button.cell()).center());
}

QString row_button::text() const
{
    return cell_.data().toString();
}

QString row_button::style_sheet() const
{
    return cell_.data(node_tree_model::style_sheet_role).toString();
}

cancel_next_progress::cancel_next_progress() : threads_(relmint::work_pool()->maxThreadCount())
{
    QThreadPool *pool = relmint::work_pool();
    pool->setMaxThreadCount(1);
    pool->start([this] {
        started_.release();
        hold_.acquire();
    });
    started_.acquire();
    QObject::connect(&poll_, &QTimer::timeout, [this] { answer(); });
    poll_.start(10);
}

cancel_next_progress::~cancel_next_progress()
{
    let_go();
    relmint::work_pool()->waitForDone();
    relmint::work_pool()->setMaxThreadCount(threads_);
}

void cancel_next_progress::answer()
{
    // Also before the window exists: its first scan runs in its constructor.
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *progress = qobject_cast<QProgressDialog *>(widget);
        if (!progress || !progress->isVisible())
            continue;
        poll_.stop();
        shown_ = true;
        modal_ = progress->isModal();
        label_ = progress->findChild<QLabel *>()->text();
        QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);
        let_go();
        return;
    }
}

void cancel_next_progress::let_go()
{
    if (held_)
        hold_.release();
    held_ = false;
}

run_result run_without_display(const QStringList &command, const QString &working_directory)
{
    QProcess process;
    if (!working_directory.isEmpty())
        process.setWorkingDirectory(working_directory);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.start(command.constFirst(), command.mid(1));
    if (!process.waitForFinished(60000))
        qFatal("%s did not finish", qPrintable(command.join(QLatin1Char(' '))));
    run_result result;
    result.exit_code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

QString relmint_binary()
{
    return QStringLiteral(RELMINT_BINARY);
}

run_result run_relmint(const QStringList &arguments)
{
    return run_without_display(QStringList{relmint_binary()} + arguments);
}

QStringList read_mark_array(const QString &project, const QString &array)
{
    QSettings settings(project, QSettings::IniFormat);
    QStringList out;
    const int size = settings.beginReadArray(array);
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        out.append(settings.value(QStringLiteral("name")).toString());
    }
    settings.endArray();
    return out;
}

void write_mark_array(const QString &project, const QString &array, const QStringList &paths)
{
    QSettings settings(project, QSettings::IniFormat);
    settings.beginWriteArray(array);
    for (int i = 0; i < paths.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(QStringLiteral("name"), paths[i]);
    }
    settings.endArray();
}

static QString run_tool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        qFatal("%s failed", qPrintable(program));
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QString md5sum_of(const QString &path)
{
    return run_tool(QStringLiteral("md5sum"), {QStringLiteral("--"), path}).section(QLatin1Char(' '), 0, 0);
}

qint64 stat_size_of(const QString &path)
{
    return run_tool(QStringLiteral("stat"), {QStringLiteral("-L"), QStringLiteral("-c"), QStringLiteral("%s"), path})
        .toLongLong();
}

QDomDocument read_manifest(const QString &path)
{
    QFile file(path);
    QDomDocument document;
    if (!file.open(QIODevice::ReadOnly) || !document.setContent(&file))
        qFatal("no readable manifest at %s", qPrintable(path));
    return document;
}

QDomElement manifest_entry(const QDomDocument &manifest, const QStringList &names)
{
    QDomElement current = manifest.documentElement();
    for (const QString &name : names) {
        QDomElement next;
        for (QDomElement child = current.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
            if (child.tagName() != QLatin1String("zips") && child.attribute(QStringLiteral("n")) == name)
                next = child;
        }
        current = next;
    }
    return current;
}
