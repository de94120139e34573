// The window's form: texts, toolbar, icons and the wiring of buttons and
// actions.
#include "relmint_fixture.h"

#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>

namespace {

QImage image_of(const QIcon &icon)
{
    return icon.pixmap(24, 24).toImage();
}

QImage resource_image(const QString &number)
{
    return image_of(QIcon(QStringLiteral(":/relmint/Resources/%1.png").arg(number)));
}

} // namespace

class tst_relmint_window : public QObject {
    Q_OBJECT

    // No "Resources" folder here: the icons must come from the program itself.
    scratch_dir cwd_;

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(cwd_.path())); }

    void window_frame()
    {
        window_under_test ui;
        QCOMPARE(ui.window().objectName(), QStringLiteral("relmint"));
        QCOMPARE(ui.window().windowTitle(), QStringLiteral("relmint"));
        QVERIFY(!ui.window().findChild<QMenuBar *>(QString(), Qt::FindDirectChildrenOnly));
        QVERIFY(!ui.window().findChild<QStatusBar *>(QString(), Qt::FindDirectChildrenOnly));
        QCOMPARE(ui.edit("edt_version")->text(), QStringLiteral("1000"));
        QCOMPARE(ui.edit("edt_version")->maximumWidth(), 60);
        QCOMPARE(ui.edit("edt_version")->alignment(), Qt::AlignCenter);

        QTreeView *tree = ui.tree();
        QCOMPARE(tree->model()->columnCount(), 4);
        const QStringList headers{"目录/文件", "设置标记", "压缩包文件", ""};
        for (int column = 0; column < 4; ++column)
            QCOMPARE(tree->model()->headerData(column, Qt::Horizontal).toString(), headers[column]);
        QCOMPARE(tree->columnWidth(1), 100);
        QCOMPARE(tree->columnWidth(2), 100);
        QVERIFY(tree->header()->stretchLastSection());
        QCOMPARE(tree->indentation(), 15);
        QCOMPARE(ui.button("btn_refresh_pattern")->styleSheet(),
                 QStringLiteral("color: rgb(0, 0, 255);\nfont: 9pt \"微软雅黑\";"));
    }

    void form_texts_data()
    {
        QTest::addColumn<QString>("object_name");
        QTest::addColumn<QString>("text");
        QTest::newRow("label_5") << "label_5" << "要打开的工程位置:";
        QTest::newRow("label") << "label" << "要构建版本的位置:";
        QTest::newRow("label_3") << "label_3" << "要接受的文件后辍:";
        QTest::newRow("label_6") << "label_6" << "  附加压缩文件名:";
        QTest::newRow("label_2") << "label_2" << "要保存版本的位置:";
        QTest::newRow("label_4") << "label_4" << "版本号:";
        QTest::newRow("btn_openfile") << "btn_openfile" << "打开...";
        QTest::newRow("browse_loadp") << "browse_loadp" << "浏览...";
        QTest::newRow("btn_refresh_pattern") << "btn_refresh_pattern" << "刷新";
        QTest::newRow("btn_reset") << "btn_reset" << "重置";
        QTest::newRow("browse_zipp") << "browse_zipp" << "浏览...";
        QTest::newRow("browse_savep") << "browse_savep" << "浏览...";
        QTest::newRow("btn_save") << "btn_save" << "构造版本";
    }

    void form_texts()
    {
        QFETCH(QString, object_name);
        QFETCH(QString, text);
        window_under_test ui;
        QWidget *widget = ui.window().findChild<QWidget *>(object_name);
        QVERIFY(widget);
        if (auto *label = qobject_cast<QLabel *>(widget))
            QCOMPARE(label->text(), text);
        else
            QCOMPARE(qobject_cast<QPushButton *>(widget)->text(), text);
    }

    void toolbar_actions_with_their_own_icons()
    {
        window_under_test ui;
        auto *toolbar = ui.window().findChild<QToolBar *>(QStringLiteral("toolBar"));
        QVERIFY(toolbar);
        QCOMPARE(toolbar->iconSize(), QSize(24, 24));
        QCOMPARE(toolbar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QCOMPARE(ui.window().toolBarArea(toolbar), Qt::TopToolBarArea);

        const QStringList names{"new_file", "open_file", "save_file", "", "build_version", "about"};
        const QStringList texts{"新建", "打开工程", "保存工程", "", "构造版本", "关于软件"};
        const QStringList icons{"132", "131", "128", "", "134", "129"};
        const QList<QAction *> actions = toolbar->actions();
        QCOMPARE(actions.size(), names.size());
        for (int i = 0; i < actions.size(); ++i) {
            if (names[i].isEmpty()) {
                QVERIFY(actions[i]->isSeparator());
                continue;
            }
            QCOMPARE(actions[i]->objectName(), names[i]);
            QCOMPARE(actions[i]->text(), texts[i]);
            QCOMPARE(image_of(actions[i]->icon()), resource_image(icons[i]));
        }
        QCOMPARE(actions[2]->toolTip(), QStringLiteral("保存工程"));
        QCOMPARE(image_of(ui.button("browse_loadp")->icon()), resource_image("130"));
        QCOMPARE(image_of(ui.button("btn_reset")->icon()), resource_image("133"));
        QCOMPARE(image_of(ui.button("btn_refresh_pattern")->icon()), resource_image("135"));
        QVERIFY(!resource_image("130").isNull());
    }

    void buttons_trigger_the_toolbar_actions()
    {
        window_under_test ui;
        auto *build = ui.window().findChild<QAction *>(QStringLiteral("build_version"));
        auto *open = ui.window().findChild<QAction *>(QStringLiteral("open_file"));
        QSignalSpy builds(build, &QAction::triggered);
        QSignalSpy opens(open, &QAction::triggered);
        ui.edit("edt_save_path")->setText(cwd_.path(QStringLiteral("built.xml")));

        QTest::mouseClick(ui.button("btn_save"), Qt::LeftButton);
        QCOMPARE(builds.size(), 1);
        QTest::mouseClick(ui.button("btn_openfile"), Qt::LeftButton);
        QCOMPARE(opens.size(), 1);
        QCOMPARE(ui.prompts().file_filters, QStringList{"ini file (*.ini)"});
        QCOMPARE(ui.prompts().messages.last().text, QStringLiteral("版本已生成！"));
    }

    void about_box()
    {
        window_under_test ui;
        ui.trigger("about");
        QCOMPARE(ui.prompts().messages.size(), 1);
        QCOMPARE(ui.prompts().messages[0].kind, QStringLiteral("about"));
        QCOMPARE(ui.prompts().messages[0].title, QStringLiteral("关于软件"));
        QVERIFY(ui.prompts().messages[0].text.contains(QStringLiteral("version_config.xml")));
    }
};

QTEST_MAIN(tst_relmint_window)
#include "tst_relmint_window.moc"
