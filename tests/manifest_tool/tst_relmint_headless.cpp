// The headless build of the real program: what it writes and prints, that it
// needs no display, that it builds what the window builds, and that every
// failure leaves everything as it was.
#include "relmint_fixture.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTest>

namespace {

// A project with marks of both kinds over a small client tree.
struct marked_project {
    scratch_dir dir;
    QString source = dir.path(QStringLiteral("client"));
    QString project = dir.path(QStringLiteral("client.ini"));
    QString manifest = dir.path(QStringLiteral("out/version_config.xml"));
    QStringList ignores{source + QStringLiteral("/game.exe"), source + QStringLiteral("/logs")};
    // In tree order, as a save writes them.
    QStringList zips{source + QStringLiteral("/logs/today.json"), source + QStringLiteral("/res")};

    marked_project()
    {
        for (const char *name : {"game.exe", "main.dll", "res/a.png", "res/ui/b.json", "logs/today.json"})
            dir.write(QStringLiteral("client/") + QString::fromLatin1(name), QByteArray(name).repeated(300));
        dir.make_dir(QStringLiteral("out"));
        QSettings settings(project, QSettings::IniFormat);
        settings.setValue(QStringLiteral("loadfrom"), source);
        settings.setValue(QStringLiteral("saveto"), manifest);
        settings.setValue(QStringLiteral("version"), QStringLiteral("1000"));
        settings.sync();
        write_mark_array(project, QStringLiteral("ignores"), ignores);
        write_mark_array(project, QStringLiteral("zips"), zips);
    }
};

} // namespace

class tst_relmint_headless : public QObject {
    Q_OBJECT

    scratch_dir cwd_;

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(cwd_.path())); }

    void build_writes_the_manifest_and_keeps_the_marks()
    {
        marked_project setup;
        const run_result result = run_relmint({QStringLiteral("--build"), setup.project});
        QVERIFY2(result.exit_code == 0, qPrintable(result.err));
        QCOMPARE(result.out, setup.manifest + QLatin1Char('\n'));

        const QDomDocument manifest = read_manifest(setup.manifest);
        QCOMPARE(manifest.documentElement().attribute(QStringLiteral("v")), QStringLiteral("1000"));
        QVERIFY(manifest_entry(manifest, {"game.exe"}).isNull());
        QVERIFY(manifest_entry(manifest, {"logs"}).isNull());
        const QDomElement b = manifest_entry(manifest, {"res", "ui", "b.json"});
        QCOMPARE(b.text(), md5sum_of(setup.source + QStringLiteral("/res/ui/b.json")));
        QCOMPARE(b.attribute(QStringLiteral("zip")), QStringLiteral("update.zip"));
        QVERIFY(!manifest_entry(manifest, {"main.dll"}).hasAttribute(QStringLiteral("zip")));

        QCOMPARE(QSettings(setup.project, QSettings::IniFormat).value(QStringLiteral("version")).toString(),
                 QStringLiteral("1001"));
        QCOMPARE(read_mark_array(setup.project, QStringLiteral("ignores")), setup.ignores);
        QCOMPARE(read_mark_array(setup.project, QStringLiteral("zips")), setup.zips);
    }

    // Both builds run the same code: the same project gives the same bytes.
    void builds_what_the_window_builds()
    {
        marked_project headless;
        QVERIFY(run_relmint({QStringLiteral("--build"), headless.project}).exit_code == 0);

        marked_project windowed;
        window_under_test ui;
        ui.window().open_project(windowed.project);
        ui.edit("edt_save_path")->setText(windowed.manifest);
        QTest::mouseClick(ui.button("btn_save"), Qt::LeftButton);

        QCOMPARE(windowed.dir.read(QStringLiteral("out/version_config.xml")),
                 headless.dir.read(QStringLiteral("out/version_config.xml")));
    }

    void directory_save_path_gets_the_manifest_inside()
    {
        marked_project setup;
        QSettings(setup.project, QSettings::IniFormat).setValue(QStringLiteral("saveto"), setup.dir.path("out"));
        const run_result result = run_relmint({QStringLiteral("--build"), setup.project});
        QCOMPARE(result.exit_code, 0);
        QCOMPARE(result.out.trimmed(), setup.manifest);
        QVERIFY(QFile::exists(setup.manifest));
    }

    void failures_change_nothing_data()
    {
        QTest::addColumn<QString>("case_name");
        QTest::addColumn<QString>("message");  // a part of what standard error must say
        QTest::newRow("missing project") << "missing project" << "cannot read the project file";
        QTest::newRow("project is a directory") << "project is a directory" << "cannot read the project file";
        QTest::newRow("missing source directory") << "missing source" << "source directory";
        QTest::newRow("manifest not writable") << "manifest not writable" << "cannot write the manifest";
        QTest::newRow("mark for another location") << "stray mark" << "/elsewhere/client/res";
        QTest::newRow("archive size without MD5") << "unpaired archive" << "zipsize";
    }

    void failures_change_nothing()
    {
        QFETCH(QString, case_name);
        QFETCH(QString, message);
        marked_project setup;
        QString project = setup.project;
        QSettings settings(setup.project, QSettings::IniFormat);
        if (case_name == QLatin1String("missing project"))
            project = setup.dir.path(QStringLiteral("absent.ini"));
        else if (case_name == QLatin1String("project is a directory"))
            project = setup.dir.make_dir(QStringLiteral("folder.ini"));
        else if (case_name == QLatin1String("missing source"))
            settings.setValue(QStringLiteral("loadfrom"), setup.dir.path(QStringLiteral("gone")));
        else if (case_name == QLatin1String("manifest not writable"))
            settings.setValue(QStringLiteral("saveto"), setup.dir.write(QStringLiteral("blocker")) + "/v.xml");
        else if (case_name == QLatin1String("stray mark"))
            settings.setValue(QStringLiteral("zips/3/name"), QStringLiteral("/elsewhere/client/res"));
        else if (case_name == QLatin1String("unpaired archive"))
            settings.setValue(QStringLiteral("zipsize"), QStringLiteral("512"));
        if (case_name == QLatin1String("stray mark"))
            settings.setValue(QStringLiteral("zips/size"), 3);
        settings.sync();
        const QByteArray project_before = setup.dir.read(QStringLiteral("client.ini"));

        const run_result result = run_relmint({QStringLiteral("--build"), project});
        QVERIFY(result.exit_code > 0);
        QVERIFY2(result.err.contains(message), qPrintable(result.err));
        QCOMPARE(result.out, QString());
        QCOMPARE(setup.dir.read(QStringLiteral("client.ini")), project_before);
        QCOMPARE(QDir(setup.dir.path(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden), QStringList{});
    }

    void help_explains_the_headless_build()
    {
        const run_result result = run_relmint({QStringLiteral("--help")});
        QCOMPARE(result.exit_code, 0);
        QVERIFY(result.out.contains(QStringLiteral("--build PROJECT.ini")));
        QVERIFY(result.out.contains(QStringLiteral("saveto")));

        const run_result wrong = run_relmint({QStringLiteral("--build")});
        QVERIFY(wrong.exit_code > 0);
        QVERIFY(!wrong.err.isEmpty());
    }
};

QTEST_MAIN(tst_relmint_headless)
#include "tst_relmint_headless.moc"
