// A source tree that fights back: directories that cannot be read, names in
// several scripts, very long paths and directory links in a loop, each in
// the window and in the headless build.
#include "relmint_fixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Set for the copy of this program that checks the window as an
// unprivileged user; it names the project to open.
const char child_variable[] = "RELMINT_LOCKED_PROJECT";

bool running_as_root()
{
    return ::geteuid() == 0;
}

// Root reads every directory, so the unreadable ones are tried as nobody.
QStringList as_unprivileged_user()
{
    if (!running_as_root())
        return {};
    return {QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
            QStringLiteral("--clear-groups")};
}

void set_mode(const QString &path, mode_t mode)
{
    if (::chmod(QFile::encodeName(path).constData(), mode) != 0)
        qFatal("cannot chmod %s", qPrintable(path));
}

// A client tree with one directory that only its owner may read, a project
// over it, and a folder anyone may write the manifest and project into.
struct locked_tree {
    scratch_dir dir;
    QString source = dir.path(QStringLiteral("client"));
    QString locked = dir.path(QStringLiteral("client/locked"));
    QString out = dir.path(QStringLiteral("out"));
    QString project = dir.path(QStringLiteral("out/locked.ini"));
    QString manifest = dir.path(QStringLiteral("out/version_config.xml"));
    QString empty = dir.path(QStringLiteral("empty"));

    locked_tree()
    {
        dir.write(QStringLiteral("client/ok/a.png"), "readable");
        dir.write(QStringLiteral("client/locked/secret.png"));
        dir.write(QStringLiteral("client/locked/deeper/more.png"));
        dir.make_dir(QStringLiteral("empty"));
        dir.make_dir(QStringLiteral("out"));
        QSettings settings(project, QSettings::IniFormat);
        settings.setValue(QStringLiteral("loadfrom"), source);
        settings.setValue(QStringLiteral("saveto"), manifest);
        settings.sync();

        set_mode(dir.path(), 0755);
        set_mode(out, 0777);
        set_mode(project, 0666);
        // Its owner could still read it: root owns it and the reader is nobody.
        set_mode(locked, running_as_root() ? 0700 : 0000);
    }
    ~locked_tree() { set_mode(locked, 0755); }

    // A copy of `program` that the unprivileged user may run, wherever the
    // build tree is.
    QString runnable(const QString &program)
    {
        if (!running_as_root())
            return program;
        const QString copy = dir.path(QStringLiteral("bin/") + QFileInfo(program).fileName());
        QDir().mkpath(QFileInfo(copy).absolutePath());
        set_mode(QFileInfo(copy).absolutePath(), 0755);
        if (!QFile::exists(copy) && !QFile::copy(program, copy))
            qFatal("cannot copy %s", qPrintable(program));
        set_mode(copy, 0755);
        return copy;
    }
};

// What the window shows of the locked tree: the directory without rows
// below it, and one warning box that counts it.
void check_window_over(const QString &project, const QString &locked)
{
    window_under_test ui;
    ui.window().open_project(project);
    QCOMPARE(ui.row_paths(), (QStringList{"locked", "ok", "ok/a.png"}));
    QCOMPARE(ui.ignore_button({"locked"}).text(), QStringLiteral("忽略"));
    QCOMPARE(ui.prompts().messages.size(), 1);
    QCOMPARE(ui.prompts().messages[0].kind, QStringLiteral("warn"));
    QCOMPARE(ui.prompts().messages[0].title, QStringLiteral("警告"));
    QVERIFY2(ui.prompts().messages[0].text.contains(QStringLiteral("有1个目录无法读取")),
             qPrintable(ui.prompts().messages[0].text));
    QVERIFY(ui.prompts().messages[0].text.contains(locked));
}

// The window's part, in a copy of this program run as nobody.
class window_as_unprivileged_user : public QObject {
    Q_OBJECT

private slots:
    void unreadable_directory_is_listed_empty()
    {
        const QString project = qEnvironmentVariable(child_variable);
        const QString source = QSettings(project, QSettings::IniFormat).value(QStringLiteral("loadfrom")).toString();
        check_window_over(project, source + QStringLiteral("/locked"));
    }
};

// Every entry of a manifest below its root, depth first, as "a/b/c".
void collect_manifest_paths(const QDomElement &element, const QString &prefix, QStringList &out)
{
    for (QDomElement child = element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        if (child.tagName() == QLatin1String("zips"))
            continue;
        const QString path = prefix + child.attribute(QStringLiteral("n"));
        out.append(path);
        collect_manifest_paths(child, path + QLatin1Char('/'), out);
    }
}

QStringList manifest_paths(const QString &manifest)
{
    QStringList out;
    collect_manifest_paths(read_manifest(manifest).documentElement(), QString(), out);
    return out;
}

// A project over `source` that writes its manifest beside it.
QString project_over(scratch_dir &dir, const QString &source, const QString &name = QStringLiteral("p.ini"))
{
    const QString project = dir.path(name);
    QSettings settings(project, QSettings::IniFormat);
    settings.setValue(QStringLiteral("loadfrom"), source);
    settings.setValue(QStringLiteral("saveto"), dir.path(QStringLiteral("version_config.xml")));
    settings.sync();
    return project;
}

// Makes `levels` directories of `name` each inside the last, below `base`,
// and a file at the bottom, by relative steps: the whole path may be longer
// than the system takes.
void make_nested(const QString &base, const QString &name, int levels, const QByteArray &file_name)
{
    const int back = ::open(".", O_RDONLY | O_DIRECTORY);
    if (back < 0 || ::chdir(QFile::encodeName(base).constData()) != 0)
        qFatal("cannot enter %s", qPrintable(base));
    const QByteArray step = QFile::encodeName(name);
    for (int i = 0; i < levels; ++i) {
        if ((::mkdir(step.constData(), 0755) != 0 && errno != EEXIST) || ::chdir(step.constData()) != 0)
            qFatal("cannot make level %d", i);
    }
    const int file = ::open(file_name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0 || ::write(file, "deep", 4) != 4 || ::close(file) != 0)
        qFatal("cannot write %s", file_name.constData());
    if (::fchdir(back) != 0 || ::close(back) != 0)
        qFatal("cannot go back");
}

} // namespace

class tst_relmint_hostile_tree : public QObject {
    Q_OBJECT

    scratch_dir cwd_;

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(cwd_.path())); }

    void unreadable_directory_in_the_window()
    {
        locked_tree tree;
        if (!running_as_root()) {
            check_window_over(tree.project, tree.locked);
            return;
        }
        qputenv(child_variable, tree.project.toLocal8Bit());
        const run_result child = run_without_display(
            as_unprivileged_user()
                << tree.runnable(QCoreApplication::applicationFilePath()) << QStringLiteral("-platform")
                << QStringLiteral("offscreen"),
            tree.empty);
        qunsetenv(child_variable);
        QVERIFY2(child.exit_code == 0, qPrintable(child.out + child.err));
        QVERIFY2(child.out.contains(QStringLiteral("PASS   : window_as_unprivileged_user::unreadable")),
                 qPrintable(child.out));
    }

    void unreadable_directory_in_the_headless_build()
    {
        locked_tree tree;
        const run_result result = run_without_display(
            as_unprivileged_user() << tree.runnable(relmint_binary()) << QStringLiteral("--build") << tree.project,
            tree.empty);
        QVERIFY2(result.exit_code == 0, qPrintable(result.err));
        QVERIFY2(result.err.contains(QStringLiteral("1 directory could not be read")), qPrintable(result.err));
        QVERIFY2(result.err.contains(tree.locked), qPrintable(result.err));
        QCOMPARE(manifest_paths(tree.manifest), (QStringList{"locked", "ok", "ok/a.png"}));
        QCOMPARE(manifest_entry(read_manifest(tree.manifest), {"ok", "a.png"}).text(),
                 md5sum_of(tree.source + QStringLiteral("/ok/a.png")));
    }

    void names_in_several_scripts()
    {
        scratch_dir dir;
        const QString source = dir.path(QStringLiteral("客户端"));
        const QStringList names{"中文目录/界面.png", "Кириллица.json",   "العربية.mp3",     "日本語/ファイル.plist",
                                "한국어.wav",        "emoji_🎮.png",    "Ελληνικά/αρχείο.png", "Straße Ünïcode.png",
                                "עברית.jpg",         "देवनागरी.fnt"};
        for (const QString &name : names)
            dir.write(QStringLiteral("客户端/") + name, name.toUtf8());
        const QString project = project_over(dir, source, QStringLiteral("发布.ini"));

        {
            window_under_test ui;
            ui.window().open_project(project);
            for (const QString &name : names)
                QVERIFY2(ui.row(name.split(QLatin1Char('/'))).isValid(), qPrintable(name));
            QCOMPARE(ui.row().data().toString(), QStringLiteral("客户端"));
            ui.click(ui.ignore_button({"中文目录"}));
            ui.click(ui.zip_button({"Ελληνικά", "αρχείο.png"}));
            ui.trigger("save_file");
        }
        // The marks come back through the project file.
        window_under_test ui;
        ui.window().open_project(project);
        QVERIFY(ui.prompts().messages.isEmpty());
        QCOMPARE(ui.ignore_button({"中文目录"}).text(), QStringLiteral("取消"));
        QCOMPARE(ui.zip_button({"Ελληνικά", "αρχείο.png"}).text(), QStringLiteral("是"));

        const run_result result = run_relmint({QStringLiteral("--build"), project});
        QVERIFY2(result.exit_code == 0, qPrintable(result.err));
        const QDomDocument manifest = read_manifest(dir.path(QStringLiteral("version_config.xml")));
        QCOMPARE(manifest.documentElement().attribute(QStringLiteral("n")), QStringLiteral("客户端"));
        QVERIFY(manifest_entry(manifest, {"中文目录"}).isNull());
        for (const QString &name : names.mid(1)) {
            const QDomElement entry = manifest_entry(manifest, name.split(QLatin1Char('/')));
            QVERIFY2(!entry.isNull(), qPrintable(name));
            QCOMPARE(entry.text(), md5sum_of(source + QLatin1Char('/') + name));
        }
        QCOMPARE(manifest_entry(manifest, {"Ελληνικά", "αρχείο.png"}).attribute(QStringLiteral("zip")),
                 QStringLiteral("update.zip"));
    }

    // Names as long as a file system takes, paths almost as long as the
    // system takes, and directories beyond that, which cannot be listed.
    void very_long_paths()
    {
        scratch_dir dir;
        const QString source = dir.path(QStringLiteral("client"));
        const QString long_name = QString(83, QChar(0x957f)) + QStringLiteral(".png");  // 253 bytes
        QCOMPARE(long_name.toUtf8().size(), 253);
        dir.write(QStringLiteral("client/") + long_name, "long");

        // Just below PATH_MAX, then two levels beyond it.
        const QString level(200, QLatin1Char('d'));
        const int reachable = (PATH_MAX - 1 - source.toUtf8().size() - 10) / (level.size() + 1);
        make_nested(source, level, reachable, "deep.png");
        QString deepest = source;
        QStringList deep_names;
        for (int i = 0; i < reachable; ++i) {
            deepest += QLatin1Char('/') + level;
            deep_names.append(level);
        }
        QVERIFY(deepest.toUtf8().size() + 9 < PATH_MAX);
        make_nested(deepest, QString(200, QLatin1Char('e')), 2, "lost.png");
        const QString beyond = deepest + QLatin1Char('/') + QString(200, QLatin1Char('e'));
        struct remove_deep_tree {
            QString path;
            ~remove_deep_tree() { QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), path}); }
        } cleanup{source};
        const QString project = project_over(dir, source);

        window_under_test ui;
        ui.window().open_project(project);
        QVERIFY(ui.row({long_name}).isValid());
        QVERIFY(ui.row(deep_names + QStringList{"deep.png"}).isValid());
        const QModelIndex last = ui.row(deep_names + QStringList{QString(200, QLatin1Char('e'))});
        QVERIFY(last.isValid());
        QCOMPARE(ui.tree()->model()->rowCount(last), 0);
        QCOMPARE(ui.prompts().messages.size(), 1);
        QVERIFY2(ui.prompts().messages[0].text.contains(QStringLiteral("有1个目录无法读取")),
                 qPrintable(ui.prompts().messages[0].text));

        const run_result result = run_relmint({QStringLiteral("--build"), project});
        QVERIFY2(result.exit_code == 0, qPrintable(result.err));
        QVERIFY2(result.err.contains(QStringLiteral("1 directory could not be read")), qPrintable(result.err));
        QVERIFY(result.err.contains(beyond));
        const QDomDocument manifest = read_manifest(dir.path(QStringLiteral("version_config.xml")));
        QCOMPARE(manifest_entry(manifest, {long_name}).text(), md5sum_of(source + QLatin1Char('/') + long_name));
        QCOMPARE(manifest_entry(manifest, deep_names + QStringList{"deep.png"}).text(),
                 md5sum_of(deepest + QStringLiteral("/deep.png")));
    }

    // Links into an ancestor, links that lead to each other, and a link to
    // itself: the walk ends, and the window and the headless build agree.
    void directory_links_in_a_loop()
    {
        scratch_dir dir;
        const QString source = dir.path(QStringLiteral("client"));
        dir.write(QStringLiteral("client/x/x.png"));
        dir.write(QStringLiteral("client/y/y.png"));
        dir.make_dir(QStringLiteral("client/z"));
        QVERIFY(QFile::link(QStringLiteral("../y"), source + QStringLiteral("/x/to_y")));
        QVERIFY(QFile::link(QStringLiteral("../x"), source + QStringLiteral("/y/to_x")));
        QVERIFY(QFile::link(QStringLiteral("."), source + QStringLiteral("/z/self")));
        QVERIFY(QFile::link(QStringLiteral(".."), source + QStringLiteral("/z/up")));
        // Two links that point at each other resolve to nothing.
        QVERIFY(QFile::link(QStringLiteral("ping"), source + QStringLiteral("/z/pong")));
        QVERIFY(QFile::link(QStringLiteral("pong"), source + QStringLiteral("/z/ping")));
        const QString project = project_over(dir, source);

        const QStringList expected{"x",      "x/x.png",  "x/to_y", "x/to_y/y.png", "y",
                                   "y/y.png", "y/to_x",  "y/to_x/x.png", "z"};
        window_under_test ui;
        ui.window().open_project(project);
        QCOMPARE(ui.row_paths(), expected);
        QVERIFY(ui.prompts().messages.isEmpty());

        const run_result result = run_relmint({QStringLiteral("--build"), project});
        QVERIFY2(result.exit_code == 0, qPrintable(result.err));
        QCOMPARE(manifest_paths(dir.path(QStringLiteral("version_config.xml"))), expected);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    if (qEnvironmentVariableIsSet(child_variable)) {
        window_as_unprivileged_user child;
        return QTest::qExec(&child, argc, argv);
    }
    tst_relmint_hostile_tree test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_relmint_hostile_tree.moc"
