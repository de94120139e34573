#include "headless_build.h"
#include "relmint.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr int exit_usage = 2;

const char help_text[] =
    "Usage: relmint [PROJECT.ini]\n"
    "       relmint --build PROJECT.ini\n"
    "\n"
    "relmint writes a client release manifest (version_config.xml): every file of\n"
    "the project's source directory that is not ignored, with its size and MD5,\n"
    "the version number, the build date and the update archive.\n"
    "\n"
    "Without --build it opens its window, with PROJECT.ini loaded when given.\n"
    "\n"
    "  --build PROJECT.ini  Build without a window or display, for release\n"
    "                       pipelines: load the project as the window opens it,\n"
    "                       write the manifest to its \"saveto\" path (a directory\n"
    "                       means version_config.xml inside it), raise its\n"
    "                       version and save it with its marks. Prints the\n"
    "                       manifest's path and exits 0. On any failure (project\n"
    "                       unreadable, source directory missing, manifest or\n"
    "                       project not writable, a marked path that matches no\n"
    "                       scanned file) it prints why on standard error,\n"
    "                       changes nothing and exits 1. Directories that\n"
    "                       cannot be read are listed empty, with a warning\n"
    "                       on standard error that names them.\n"
    "  -h, --help           Show this help.\n";

struct command_line {
    bool help = false;
    QString build_project;  // set for a headless build
    QString open_project;   // set to open the window with a project
    QString error;
};

command_line parse_command_line(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    const QCommandLineOption help_option(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption build_option(QStringLiteral("build"), QString(), QStringLiteral("PROJECT.ini"));
    parser.addOption(help_option);
    parser.addOption(build_option);

    command_line line;
    if (!parser.parse(arguments)) {
        line.error = parser.errorText();
        return line;
    }
    line.help = parser.isSet(help_option);
    line.build_project = parser.value(build_option);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1 || (parser.isSet(build_option) && !positional.isEmpty()))
        line.error = QStringLiteral("too many arguments");
    else if (!positional.isEmpty())
        line.open_project = positional.constFirst();
    return line;
}

} // namespace

int main(int argc, char **argv)
{
    const command_line line = parse_command_line(argc, argv);
    if (line.help) {
        std::fputs(help_text, stdout);
        return 0;
    }
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "relmint: %s\n\n%s", qPrintable(line.error), help_text);
        return exit_usage;
    }

    if (!line.build_project.isEmpty()) {
        // No QApplication: a pipeline has no display.
        QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        return run_headless_build(line.build_project, out, err);
    }

    QApplication app(argc, argv);
    Q_INIT_RESOURCE(relmint);
    int result = 0;
    {
        relmint window;
        if (!line.open_project.isEmpty())
            window.open_project(line.open_project);
        window.showMaximized();
        result = app.exec();
    }
    Q_CLEANUP_RESOURCE(relmint);
    return result;
}
