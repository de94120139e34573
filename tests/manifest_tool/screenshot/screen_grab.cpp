// Saves the whole X screen as a PNG: the screenshot of relmint under Xvfb is
// taken from outside the program, as a person would see it.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: screen_grab OUT.png\n");
        return 2;
    }
    return QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
