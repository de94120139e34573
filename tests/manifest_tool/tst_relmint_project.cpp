// Projects through the window: new, open and save, the keys and the two mark
// arrays, and a project that cannot be written.
#include "relmint_fixture.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTest>

namespace {

const char *const edits[] = {"edt_src_path", "edt_patterns", "edt_save_path", "edt_version",
                             "edt_zip",      "edt_size",     "edt_sign"};
const char *const keys[] = {"loadfrom", "patterns", "saveto", "version", "zipfile", "zipsize", "zipsign"};

QStringList under(const scratch_dir &dir, const QStringList &relative)
{
    QStringList out;
    for (const QString &path : relative)
        out.append(path == QLatin1String(".") ? dir.path() : dir.path(path));
    return out;
}

} // namespace

class tst_relmint_project : public QObject {
    Q_OBJECT

    scratch_dir cwd_;

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(cwd_.path())); }

    // First slot: the numbers are process-wide and start with the first window.
    void new_projects_are_numbered_and_not_written()
    {
        window_under_test ui;
        const QString base = QDir::currentPath() + QStringLiteral("/new_project");
        QCOMPARE(ui.edit("edt_project")->text(), base + QStringLiteral("1.ini"));
        ui.edit("edt_version")->setText(QStringLiteral("5"));
        ui.trigger("new_file");
        QCOMPARE(ui.edit("edt_project")->text(), base + QStringLiteral("2.ini"));
        QCOMPARE(ui.edit("edt_version")->text(), QStringLiteral("1000"));

        // A file of the next name is loaded like any project.
        QSettings(base + QStringLiteral("3.ini"), QSettings::IniFormat).setValue("version", "77");
        ui.trigger("new_file");
        QCOMPARE(ui.edit("edt_version")->text(), QStringLiteral("77"));
        QVERIFY(!QFile::exists(base + QStringLiteral("1.ini")));
        QVERIFY(!QFile::exists(base + QStringLiteral("2.ini")));
    }

    void loading_takes_present_keys_data()
    {
        QTest::addColumn<QByteArray>("ini");  // empty: no file at all
        QTest::addColumn<QStringList>("expected");  // the edits, in the order of `edits`
        const QString standard = QStringLiteral(
            ".exe .dll .xml .plist .ExportJson .png .jpg .bmp .json .mp3 .wav .ttf .fnt .ico .pvr.ccz .csb");
        const QStringList kept{"/kept/src", standard, "/kept/out.xml", "1000", "update.zip", "", ""};

        QTest::newRow("every key")
            << QByteArray("[General]\nloadfrom=/p/src\npatterns=.png .txt\nsaveto=/p/v.xml\nversion=1200\n"
                          "zipfile=u2.zip\nzipsize=512\nzipsign=abc\n")
            << QStringList{"/p/src", ".png .txt", "/p/v.xml", "1200", "u2.zip", "512", "abc"};
        QTest::newRow("no keys") << QByteArray("[General]\n") << kept;
        QTest::newRow("missing file") << QByteArray() << kept;
        QTest::newRow("present but empty")
            << QByteArray("[General]\nloadfrom=\npatterns=\nsaveto=\nversion=\nzipfile=\nzipsize=\nzipsign=\n")
            << QStringList{"", "", "", "", "", "", ""};
        QTest::newRow("non-numeric version") << QByteArray("[General]\nversion=1.2beta\n")
                                             << QStringList{"/kept/src", standard, "/kept/out.xml", "1.2beta",
                                                            "update.zip", "", ""};
    }

    void loading_takes_present_keys()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, expected);
        const QString project = cwd_.path(QStringLiteral("load.ini"));
        QFile::remove(project);
        if (!ini.isEmpty())
            cwd_.write(QStringLiteral("load.ini"), ini);

        window_under_test ui;
        const QStringList before{"/kept/src", ".x", "/kept/out.xml", "9", "z.zip", "1", "s"};
        for (int i = 0; i < 7; ++i)
            ui.edit(edits[i])->setText(before[i]);
        ui.prompts().files.enqueue(project);
        QTest::mouseClick(ui.button("btn_openfile"), Qt::LeftButton);

        QCOMPARE(ui.prompts().file_filters, QStringList{"ini file (*.ini)"});
        QCOMPARE(ui.edit("edt_project")->text(), project);
        for (int i = 0; i < 7; ++i)
            QCOMPARE(ui.edit(edits[i])->text(), expected[i]);
    }

    void saving_writes_every_key_as_typed()
    {
        scratch_dir source;
        window_under_test ui;
        const QStringList values{source.path(), ".png", "/out/v.xml", "1.2beta", "", "77", "ff"};
        for (int i = 0; i < 7; ++i)
            ui.edit(edits[i])->setText(values[i]);
        const QString project = cwd_.path(QStringLiteral("keys.ini"));
        ui.edit("edt_project")->setText(project);
        ui.trigger("save_file");

        QCOMPARE(ui.prompts().messages.size(), 1);
        QCOMPARE(ui.prompts().messages[0].kind, QStringLiteral("inform"));
        QCOMPARE(ui.prompts().messages[0].title, QStringLiteral("提示"));
        QCOMPARE(ui.prompts().messages[0].text, QStringLiteral("工程文件保存成功！"));
        QSettings settings(project, QSettings::IniFormat);
        for (int i = 0; i < 7; ++i) {
            QVERIFY2(settings.contains(QString::fromLatin1(keys[i])), keys[i]);
            QCOMPARE(settings.value(QString::fromLatin1(keys[i])).toString(), values[i]);
        }
        const QByteArray text = cwd_.read(QStringLiteral("keys.ini"));
        QVERIFY(text.contains("[ignores]\nsize=0\n"));
        QVERIFY(text.contains("[zips]\nsize=0\n"));
    }

    // Marks go in through a project, come out through a save: each array
    // holds only the topmost marked nodes, in tree order.
    void saving_writes_topmost_marks_data()
    {
        QTest::addColumn<QStringList>("ignores_in");
        QTest::addColumn<QStringList>("zips_in");
        QTest::addColumn<QStringList>("ignores_out");
        QTest::addColumn<QStringList>("zips_out");

        QTest::newRow("no marks") << QStringList{} << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("tree order, files first")
            << QStringList{"d/sub", "z.png", "a.png"} << QStringList{"d/x.png", "a.png"}
            << QStringList{"a.png", "z.png", "d/sub"} << QStringList{"a.png", "d/x.png"};
        QTest::newRow("nested marks written once")
            << QStringList{"d", "d/x.png", "d/sub/y.png"} << QStringList{"d/sub", "d/sub/y.png"}
            << QStringList{"d"} << QStringList{"d/sub"};
        QTest::newRow("archive marks inside an ignored directory")
            << QStringList{"d"} << QStringList{"d/x.png", "d/sub/y.png"} << QStringList{"d"}
            << QStringList{"d/x.png", "d/sub/y.png"};
        QTest::newRow("marked root")
            << QStringList{".", "d", "a.png"} << QStringList{".", "d/x.png"} << QStringList{"."}
            << QStringList{"."};
        QTest::newRow("marks of a missing path are dropped")
            << QStringList{"gone.png", "a.png"} << QStringList{"d/gone"} << QStringList{"a.png"}
            << QStringList{};
    }

    void saving_writes_topmost_marks()
    {
        QFETCH(QStringList, ignores_in);
        QFETCH(QStringList, zips_in);
        QFETCH(QStringList, ignores_out);
        QFETCH(QStringList, zips_out);
        scratch_dir source;
        for (const char *name : {"a.png", "z.png", "d/x.png", "d/sub/y.png"})
            source.write(QString::fromLatin1(name));

        const QString project = cwd_.path(QStringLiteral("marks.ini"));
        QFile::remove(project);
        QSettings(project, QSettings::IniFormat).setValue(QStringLiteral("loadfrom"), source.path());
        write_mark_array(project, QStringLiteral("ignores"), under(source, ignores_in));
        write_mark_array(project, QStringLiteral("zips"), under(source, zips_in));

        window_under_test ui;
        ui.window().open_project(project);
        ui.trigger("save_file");
        QCOMPARE(read_mark_array(project, QStringLiteral("ignores")), under(source, ignores_out));
        QCOMPARE(read_mark_array(project, QStringLiteral("zips")), under(source, zips_out));
        // A shorter array leaves no elements of the longer one behind.
        QSettings saved(project, QSettings::IniFormat);
        saved.beginGroup(QStringLiteral("ignores"));
        QCOMPARE(saved.allKeys().size(), ignores_out.size() + 1);
        saved.endGroup();
        saved.beginGroup(QStringLiteral("zips"));
        QCOMPARE(saved.allKeys().size(), zips_out.size() + 1);
    }

    void saved_marks_come_back_on_open()
    {
        scratch_dir source;
        source.write(QStringLiteral("a.png"));
        source.write(QStringLiteral("d/b.png"));
        const QString project = cwd_.path(QStringLiteral("round.ini"));
        {
            window_under_test ui;
            ui.scan(source.path());
            ui.click(ui.zip_button({"d", "b.png"}));
            ui.click(ui.ignore_button({"d"}));
            ui.click(ui.ignore_button({"a.png"}));
            ui.edit("edt_project")->setText(project);
            ui.trigger("save_file");
        }
        window_under_test ui;
        ui.window().open_project(project);
        QCOMPARE(ui.edit("edt_src_path")->text(), source.path());
        QCOMPARE(ui.ignore_button({"a.png"}).text(), QStringLiteral("取消"));
        QCOMPARE(ui.ignore_button({"d"}).text(), QStringLiteral("取消"));
        QCOMPARE(ui.row_paths(), (QStringList{"a.png", "d"}));
        ui.click(ui.ignore_button({"d"}));
        QCOMPARE(ui.zip_button({"d", "b.png"}).text(), QStringLiteral("是"));
    }

    // A project made for another location would lose its marks on the next save.
    void dropped_marks_are_reported()
    {
        scratch_dir source;
        source.write(QStringLiteral("a.png"));
        source.write(QStringLiteral("d/b.png"));
        const QString project = cwd_.path(QStringLiteral("moved.ini"));
        QFile::remove(project);
        QSettings(project, QSettings::IniFormat).setValue(QStringLiteral("loadfrom"), source.path());
        const QStringList elsewhere{"/old/client/e1.png", "/old/client/e2.png", "/old/client/e3",
                                    "/old/client/e4.png", "/old/client/e5.png", "/old/client/e6.png"};
        write_mark_array(project, QStringLiteral("ignores"),
                         QStringList{source.path(QStringLiteral("a.png"))} + elsewhere.mid(0, 4));
        write_mark_array(project, QStringLiteral("zips"),
                         QStringList{source.path(QStringLiteral("d"))} + elsewhere.mid(3) + QStringList{"/old/x"});

        window_under_test ui;
        ui.window().open_project(project);
        QCOMPARE(ui.prompts().messages.size(), 1);
        const scripted_prompts::message &warning = ui.prompts().messages[0];
        QCOMPARE(warning.kind, QStringLiteral("warn"));
        QCOMPARE(warning.title, QStringLiteral("警告"));
        // Seven distinct paths, e4.png being in both arrays; the first five in order.
        QVERIFY2(warning.text.contains(QStringLiteral("有7个标记")), qPrintable(warning.text));
        const QStringList dropped{"/old/client/e1.png", "/old/client/e2.png", "/old/client/e3",
                                  "/old/client/e4.png", "/old/client/e5.png"};
        QVERIFY2(warning.text.contains(dropped.join(QLatin1Char('\n'))), qPrintable(warning.text));
        QVERIFY(!warning.text.contains(QStringLiteral("e6.png")));
        QVERIFY(!warning.text.contains(QStringLiteral("/old/x")));
        QVERIFY(warning.text.contains(QStringLiteral("另有2个")));
        // The marks that did match are kept.
        QCOMPARE(ui.ignore_button({"a.png"}).text(), QStringLiteral("取消"));
        QCOMPARE(ui.zip_button({"d"}).text(), QStringLiteral("是"));

        // A project whose marks all match says nothing.
        ui.trigger("save_file");
        ui.prompts().messages.clear();
        ui.window().open_project(project);
        QCOMPARE(ui.prompts().messages.size(), 0);
    }

    void unwritable_project_is_reported()
    {
        const QString blocker = cwd_.write(QStringLiteral("plain_file"));
        window_under_test ui;
        ui.edit("edt_project")->setText(blocker + QStringLiteral("/project.ini"));
        ui.trigger("save_file");
        QCOMPARE(ui.prompts().messages.size(), 1);
        QCOMPARE(ui.prompts().messages[0].kind, QStringLiteral("warn"));
        QCOMPARE(ui.prompts().messages[0].title, QStringLiteral("警告"));
        QVERIFY(ui.prompts().messages[0].text != QStringLiteral("工程文件保存成功！"));
    }
};

QTEST_MAIN(tst_relmint_project)
#include "tst_relmint_project.moc"
