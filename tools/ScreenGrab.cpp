// Saves what an X server shows, as PNG: the README's picture of the Windows window under Wine, and
// the Wine window tests' look at the screen. With x y width height, only that part.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 6) {
        std::cerr << "usage: tarvel-grab-screen OUTPUT.png [X Y WIDTH HEIGHT]\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    int area[4] = {0, 0, -1, -1};
    for (int i = 0; argc == 6 && i < 4; ++i)
        area[i] = std::atoi(argv[2 + i]);
    const QPixmap picture =
        QGuiApplication::primaryScreen()->grabWindow(0, area[0], area[1], area[2], area[3]);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::cerr << "tarvel-grab-screen: cannot grab the screen into " << argv[1] << '\n';
        return 1;
    }
    return 0;
}
