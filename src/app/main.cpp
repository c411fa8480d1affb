#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication a(argc, argv);
    MainWindow w(nullptr, QStringLiteral("config.json"));
    w.showMaximized();
    return a.exec();
}
