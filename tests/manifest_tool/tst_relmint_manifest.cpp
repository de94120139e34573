// The manifest as the window builds it, checked against md5sum and stat; the
// archive, the version raise, and every way a build can fail or be cancelled.
#include "relmint_fixture.h"
#include "release_build.h"
#include "source_scan.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QSettings>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray random_bytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

// A client tree with files the default suffix list takes and leaves, an
// empty directory and deep nesting, and a project for it.
struct client_tree {
    scratch_dir dir;
    QString source;
    QString project;
    QString manifest;

    client_tree()
    {
        for (const char *name : {"game.exe", "README", "notes.txt", "skip.png", "res/a.png", "res/deep/x/y/z.png",
                                 "res/ui/b.png", "res/ui/inner/c.json", "logs/log.json", "empty/notes.txt"})
            dir.write(QStringLiteral("client/") + QString::fromLatin1(name), random_bytes(100 + QRandomGenerator::global()->bounded(9000)));
        source = dir.path(QStringLiteral("client"));
        project = dir.path(QStringLiteral("client.ini"));
        manifest = dir.path(QStringLiteral("out/version_config.xml"));
        dir.make_dir(QStringLiteral("out"));
        set(QStringLiteral("loadfrom"), source);
        set(QStringLiteral("saveto"), manifest);
    }

    QString path(const QString &relative) const
    {
        return relative == QLatin1String(".") ? source : source + QLatin1Char('/') + relative;
    }

    void set(const QString &key, const QString &value)
    {
        QSettings(project, QSettings::IniFormat).setValue(key, value);
    }

    void mark(const QString &array, const QStringList &relative)
    {
        QStringList paths;
        for (const QString &name : relative)
            paths.append(path(name));
        write_mark_array(project, array, paths);
    }
};

// The entries of a manifest below its root in document order, as paths
// relative to the root; directories end with "/".
void collect_entries(const QDomElement &parent, const QString &prefix, QStringList &out)
{
    for (QDomElement child = parent.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        if (child.tagName() == QLatin1String("zips"))
            continue;
        const QString path = prefix + child.attribute(QStringLiteral("n"));
        if (child.tagName() == QLatin1String("dir")) {
            out.append(path + QLatin1Char('/'));
            collect_entries(child, path + QLatin1Char('/'), out);
        } else {
            out.append(path);
        }
    }
}

QStringList manifest_entries(const QString &manifest)
{
    QStringList out;
    collect_entries(read_manifest(manifest).documentElement(), QString(), out);
    return out;
}

QDomElement entry(const QString &manifest, const QString &relative)
{
    return manifest_entry(read_manifest(manifest), relative.split(QLatin1Char('/')));
}

const QStringList all_listed{"game.exe", "README", "empty/", "res/", "res/a.png", "res/deep/", "res/deep/x/",
                             "res/deep/x/y/", "res/deep/x/y/z.png", "res/ui/", "res/ui/b.png", "res/ui/inner/",
                             "res/ui/inner/c.json"};

QStringList listed_files_of(const QStringList &entries)
{
    QStringList files;
    for (const QString &entry : entries) {
        if (!entry.endsWith(QLatin1Char('/')))
            files.append(entry);
    }
    return files;
}

} // namespace

class tst_relmint_manifest : public QObject {
    Q_OBJECT

    scratch_dir cwd_;

    // Opens the project in the window and presses the build button.
    static void build(window_under_test &ui) { QTest::mouseClick(ui.button("btn_save"), Qt::LeftButton); }

    static void expect_message(window_under_test &ui, const char *kind, const QString &title, const QString &text)
    {
        QCOMPARE(ui.prompts().messages.size(), 1);
        QCOMPARE(ui.prompts().messages[0].kind, QString::fromLatin1(kind));
        QCOMPARE(ui.prompts().messages[0].title, title);
        QCOMPARE(ui.prompts().messages[0].text, text);
    }

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(cwd_.path())); }

    void lists_every_file_with_its_md5_and_size()
    {
        client_tree tree;
        tree.mark(QStringLiteral("ignores"), {"logs", "skip.png"});
        window_under_test ui;
        ui.window().open_project(tree.project);
        build(ui);

        expect_message(ui, "inform", QStringLiteral("提示"), QStringLiteral("版本已生成！"));
        const QStringList entries = manifest_entries(tree.manifest);
        QCOMPARE(entries, all_listed);
        for (const QString &file : listed_files_of(entries)) {
            const QDomElement element = entry(tree.manifest, file);
            QCOMPARE(element.text(), md5sum_of(tree.path(file)));
            QCOMPARE(element.attribute(QStringLiteral("s")).toLongLong(), stat_size_of(tree.path(file)));
        }
        QVERIFY(!entry(tree.manifest, QStringLiteral("empty")).hasChildNodes());

        const QDomElement root = read_manifest(tree.manifest).documentElement();
        QCOMPARE(root.tagName(), QStringLiteral("dir"));
        QCOMPARE(root.attribute(QStringLiteral("n")), QStringLiteral("client"));
        QCOMPARE(root.attribute(QStringLiteral("v")), QStringLiteral("1000"));
        QCOMPARE(root.attribute(QStringLiteral("d")), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
        const QByteArray text = tree.dir.read(QStringLiteral("out/version_config.xml"));
        QVERIFY(text.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<dir "));
        QVERIFY(text.contains("\n    <dir n=\"res\">\n        <f s=\""));
    }

    void root_ignore_mark_changes_nothing()
    {
        client_tree tree;
        tree.mark(QStringLiteral("ignores"), {".", "logs", "skip.png"});
        window_under_test ui;
        ui.window().open_project(tree.project);
        build(ui);
        QCOMPARE(manifest_entries(tree.manifest), all_listed);
    }

    void archive_element_and_zip_attributes_data()
    {
        QTest::addColumn<QStringList>("zip_marks");
        QTest::addColumn<QString>("zipfile");
        QTest::addColumn<QStringList>("zipped");

        QTest::newRow("file") << QStringList{"game.exe"} << "update.zip" << QStringList{"game.exe"};
        QTest::newRow("directory, at any depth below")
            << QStringList{"res/ui"} << "update.zip" << QStringList{"res/ui/b.png", "res/ui/inner/c.json"};
        QTest::newRow("deep directory") << QStringList{"res/deep/x"} << "u2.zip" << QStringList{"res/deep/x/y/z.png"};
        QTest::newRow("root") << QStringList{"."} << "update.zip" << listed_files_of(all_listed);
        QTest::newRow("in an ignored directory") << QStringList{"logs/log.json"} << "update.zip" << QStringList{};
        QTest::newRow("no archive name") << QStringList{"res/ui"} << ""
                                         << QStringList{"res/ui/b.png", "res/ui/inner/c.json"};
    }

    void archive_element_and_zip_attributes()
    {
        QFETCH(QStringList, zip_marks);
        QFETCH(QString, zipfile);
        QFETCH(QStringList, zipped);
        client_tree tree;
        tree.mark(QStringLiteral("ignores"), {"logs", "skip.png"});
        tree.mark(QStringLiteral("zips"), zip_marks);
        tree.set(QStringLiteral("zipfile"), zipfile);
        tree.set(QStringLiteral("zipsize"), QStringLiteral("512"));
        tree.set(QStringLiteral("zipsign"), QStringLiteral("00112233445566778899aabbccddeeff"));

        window_under_test ui;
        ui.window().open_project(tree.project);
        build(ui);

        const QDomDocument manifest = read_manifest(tree.manifest);
        const QDomElement zips = manifest.documentElement().firstChildElement(QStringLiteral("zips"));
        QCOMPARE(zips.isNull(), zipfile.isEmpty());
        if (!zipfile.isEmpty()) {
            QCOMPARE(manifest.documentElement().firstChildElement().tagName(), QStringLiteral("zips"));
            QCOMPARE(zips.elementsByTagName(QStringLiteral("f")).size(), 1);
            const QDomElement archive = zips.firstChildElement(QStringLiteral("f"));
            QCOMPARE(archive.attribute(QStringLiteral("n")), zipfile);
            QCOMPARE(archive.attribute(QStringLiteral("s")), QStringLiteral("512"));
            QCOMPARE(archive.text(), QStringLiteral("00112233445566778899aabbccddeeff"));
        }
        for (const QString &entry_path : manifest_entries(tree.manifest)) {
            const QDomElement element = entry(tree.manifest, entry_path.chopped(entry_path.endsWith('/') ? 1 : 0));
            const bool expected = zipped.contains(entry_path);
            QVERIFY2(element.hasAttribute(QStringLiteral("zip")) == expected, qPrintable(entry_path));
            if (expected)
                QCOMPARE(element.attribute(QStringLiteral("zip")), zipfile);
        }
    }

    void file_gone_since_the_scan_is_listed_as_open_fail()
    {
        client_tree tree;
        window_under_test ui;
        ui.window().open_project(tree.project);
        QVERIFY(QFile::remove(tree.path(QStringLiteral("res/a.png"))));
        build(ui);
        const QDomElement gone = entry(tree.manifest, QStringLiteral("res/a.png"));
        QCOMPARE(gone.text(), QStringLiteral("open fail!"));
        QCOMPARE(gone.attribute(QStringLiteral("s")), QStringLiteral("0"));
        QCOMPARE(entry(tree.manifest, QStringLiteral("game.exe")).text(), md5sum_of(tree.path("game.exe")));
    }

    void version_is_raised_after_each_build_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<QString>("left");
        QTest::newRow("numeric") << "1000" << QStringList{"1000", "1001"} << "1002";
        QTest::newRow("non-numeric") << "1.2beta" << QStringList{"1.2beta", "1"} << "2";
    }

    void version_is_raised_after_each_build()
    {
        QFETCH(QString, version);
        QFETCH(QStringList, written);
        QFETCH(QString, left);
        client_tree tree;
        tree.set(QStringLiteral("version"), version);
        window_under_test ui;
        ui.window().open_project(tree.project);
        for (const QString &expected : written) {
            build(ui);
            QCOMPARE(read_manifest(tree.manifest).documentElement().attribute(QStringLiteral("v")), expected);
        }
        QCOMPARE(ui.edit("edt_version")->text(), left);
        QCOMPARE(QSettings(tree.project, QSettings::IniFormat).value(QStringLiteral("version")).toString(), left);
    }

    void unwritable_save_path_changes_nothing_data()
    {
        QTest::addColumn<QString>("save_path");  // relative to the scratch directory; "" stays empty
        QTest::newRow("below a plain file") << "blocker/version_config.xml";
        QTest::newRow("missing directory") << "nowhere/at/all/version_config.xml";
        QTest::newRow("empty") << "";
    }

    void unwritable_save_path_changes_nothing()
    {
        QFETCH(QString, save_path);
        client_tree tree;
        tree.dir.write(QStringLiteral("blocker"));
        tree.set(QStringLiteral("saveto"), save_path.isEmpty() ? save_path : tree.dir.path(save_path));
        const QByteArray project_before = tree.dir.read(QStringLiteral("client.ini"));

        window_under_test ui;
        ui.window().open_project(tree.project);
        build(ui);
        expect_message(ui, "warn", QStringLiteral("警告"), QStringLiteral("无法写入version_config.xml!"));
        QCOMPARE(ui.edit("edt_version")->text(), QStringLiteral("1000"));
        QCOMPARE(tree.dir.read(QStringLiteral("client.ini")), project_before);
    }

    void save_path_naming_a_directory_writes_inside_it()
    {
        client_tree tree;
        const QString folder = tree.dir.make_dir(QStringLiteral("release"));
        window_under_test ui;
        ui.window().open_project(tree.project);
        ui.prompts().directories.enqueue(folder);
        QTest::mouseClick(ui.button("browse_savep"), Qt::LeftButton);
        QCOMPARE(ui.edit("edt_save_path")->text(), folder);

        build(ui);
        expect_message(ui, "inform", QStringLiteral("提示"), QStringLiteral("版本已生成！"));
        QCOMPARE(read_manifest(folder + QStringLiteral("/version_config.xml")).documentElement().attribute("v"),
                 QStringLiteral("1000"));
    }

    void unwritable_project_changes_nothing()
    {
        client_tree tree;
        const QString blocker = tree.dir.write(QStringLiteral("blocker"));
        window_under_test ui;
        ui.window().open_project(tree.project);
        ui.edit("edt_project")->setText(blocker + QStringLiteral("/client.ini"));
        build(ui);
        QCOMPARE(ui.prompts().messages.size(), 1);
        QCOMPARE(ui.prompts().messages[0].kind, QStringLiteral("warn"));
        QVERIFY(!QFile::exists(tree.manifest));
        QCOMPARE(ui.edit("edt_version")->text(), QStringLiteral("1000"));
    }

    void full_disk_keeps_the_old_manifest()
    {
        client_tree tree;
        tree.dir.write(QStringLiteral("out/version_config.xml"), "old manifest");
        const QByteArray project_before = tree.dir.read(QStringLiteral("client.ini"));
        window_under_test ui;
        ui.window().open_project(tree.project);

        // A file size limit fails the writes the way a full disk does.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old_limit{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
        rlimit small = old_limit;
        small.rlim_cur = 300;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        build(ui);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &old_limit), 0);

        expect_message(ui, "warn", QStringLiteral("警告"), QStringLiteral("无法写入version_config.xml!"));
        QCOMPARE(tree.dir.read(QStringLiteral("out/version_config.xml")), QByteArray("old manifest"));
        QCOMPARE(QDir(tree.dir.path(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"version_config.xml"});
        QCOMPARE(ui.edit("edt_version")->text(), QStringLiteral("1000"));
        QCOMPARE(tree.dir.read(QStringLiteral("client.ini")), project_before);
    }

    void cancelled_build_writes_nothing()
    {
        client_tree tree;
        window_under_test ui;
        ui.window().open_project(tree.project);

        cancel_next_progress cancel;
        build(ui);

        QVERIFY(cancel.dialog_shown());
        QVERIFY(cancel.dialog_modal());
        QVERIFY(!QFile::exists(tree.manifest));
        QCOMPARE(QDir(tree.dir.path(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden), QStringList{});
        QCOMPARE(ui.edit("edt_version")->text(), QStringLiteral("1000"));
        QVERIFY(!QSettings(tree.project, QSettings::IniFormat).contains(QStringLiteral("version")));
        QVERIFY(ui.prompts().messages.isEmpty());
    }

    void unpaired_archive_fields_are_refused_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("sign");
        QTest::newRow("size without MD5") << "512" << "";
        QTest::newRow("MD5 without size") << "" << "00112233445566778899aabbccddeeff";
    }

    void unpaired_archive_fields_are_refused()
    {
        QFETCH(QString, size);
        QFETCH(QString, sign);
        client_tree tree;
        window_under_test ui;
        ui.window().open_project(tree.project);
        ui.edit("edt_size")->setText(size);
        ui.edit("edt_sign")->setText(sign);
        build(ui);
        QCOMPARE(ui.prompts().messages.size(), 1);
        QCOMPARE(ui.prompts().messages[0].kind, QStringLiteral("warn"));
        QVERIFY(!QFile::exists(tree.manifest));
        QCOMPARE(ui.edit("edt_version")->text(), QStringLiteral("1000"));
    }

    void archive_choice_measures_the_file()
    {
        scratch_dir dir;
        const QString archive = dir.write(QStringLiteral("pack/update-7.zip"), random_bytes(70000));
        window_under_test ui;
        ui.prompts().files.enqueue(archive);
        QTest::mouseClick(ui.button("browse_zipp"), Qt::LeftButton);
        QCOMPARE(ui.prompts().file_filters, QStringList{"zip file (*.zip)"});
        QCOMPARE(ui.edit("edt_zip")->text(), QStringLiteral("update-7.zip"));
        QCOMPARE(ui.edit("edt_sign")->text(), md5sum_of(archive));
        QCOMPARE(ui.edit("edt_size")->text(), QString::number(stat_size_of(archive)));
    }

    // Many workers or one, the same bytes.
    void parallel_build_matches_a_single_threaded_one()
    {
        scratch_dir dir;
        for (int i = 0; i < 240; ++i) {
            const QString name = QStringLiteral("client/d%1/s%2/f%3.png").arg(i % 7).arg(i % 3).arg(i);
            dir.write(name, random_bytes(QRandomGenerator::global()->bounded(i % 10 == 0 ? 400000 : 4000)));
        }
        const file_node root = scan_tree(dir.path(QStringLiteral("client")), QStringLiteral(".png")).root;
        const auto build_with = [&](int threads, const QString &name) {
            QThreadPool pool;
            pool.setMaxThreadCount(threads);
            project_fields fields = project_fields::initial();
            fields.saveto = dir.path(name + QStringLiteral(".xml"));
            release_build build(dir.path(name + QStringLiteral(".ini")), fields, root);
            const release_result result = build.run(&pool, [](digest_job &job) { return job.wait(); });
            return result == release_result::built ? dir.read(name + QStringLiteral(".xml")) : QByteArray();
        };
        const QByteArray single = build_with(1, QStringLiteral("single"));
        const QByteArray parallel = build_with(6, QStringLiteral("parallel"));
        QCOMPARE(listed_files_of(manifest_entries(dir.path(QStringLiteral("single.xml")))).size(), 240);
        QCOMPARE(parallel, single);
    }
};

QTEST_MAIN(tst_relmint_manifest)
#include "tst_relmint_manifest.moc"
