// waylandwindow APP-ID: one small window whose app id (its desktop-file name, to KWin) is APP-ID.
// Runs until it is ended or its compositor goes away.

#include <QGuiApplication>
#include <QRasterWindow>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2)
        return 2;
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    QRasterWindow window;
    window.resize(320, 120);
    window.show();
    return app.exec();
}
