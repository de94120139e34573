#include "relmint_fixture.h"

#include "relmint.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QTest>

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

QTreeWidget *window_under_test::tree()
{
    auto *found = window_->findChild<QTreeWidget *>(QStringLiteral("tv_dir"));
    Q_ASSERT(found);
    return found;
}

void window_under_test::scan(const QString &source_path)
{
    edit("edt_src_path")->setText(source_path);
    QTest::mouseClick(button("btn_refresh_pattern"), Qt::LeftButton);
}

QTreeWidgetItem *window_under_test::row(const QStringList &names)
{
    QTreeWidgetItem *current = tree()->topLevelItem(0);
    for (const QString &name : names) {
        QTreeWidgetItem *next = nullptr;
        for (int i = 0; current && i < current->childCount(); ++i) {
            if (current->child(i)->text(0) == name)
                next = current->child(i);
        }
        current = next;
    }
    return current;
}

QPushButton *window_under_test::ignore_button(const QStringList &names)
{
    QTreeWidgetItem *item = row(names);
    return item ? qobject_cast<QPushButton *>(tree()->itemWidget(item, 1)) : nullptr;
}

QPushButton *window_under_test::zip_button(const QStringList &names)
{
    QTreeWidgetItem *item = row(names);
    return item ? qobject_cast<QPushButton *>(tree()->itemWidget(item, 2)) : nullptr;
}

static void collect_row_paths(QTreeWidgetItem *item, const QString &prefix, QStringList &out)
{
    for (int i = 0; i < item->childCount(); ++i) {
        const QString path = prefix + item->child(i)->text(0);
        out.append(path);
        collect_row_paths(item->child(i), path + QLatin1Char('/'), out);
    }
}

QStringList window_under_test::row_paths()
{
    QStringList out;
    if (QTreeWidgetItem *root = tree()->topLevelItem(0))
        collect_row_paths(root, QString(), out);
    return out;
}

void window_under_test::click(QPushButton *button)
{
    Q_ASSERT(button);
    // Index widgets are laid out only for rows in view.
    for (QTreeWidgetItem *item = tree()->topLevelItem(0); item; item = tree()->itemBelow(item)) {
        if (tree()->itemWidget(item, 1) == button || tree()->itemWidget(item, 2) == button)
            tree()->scrollToItem(item);
    }
    QApplication::processEvents();
    QTest::mouseClick(button, Qt::LeftButton);
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
