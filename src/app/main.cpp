#include "app/mainwindow.h"
#include "app/sprache.h"

#include <QApplication>
#include <QIcon>

#include <clocale>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(kovrit);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/img/kovrit_24x24.ico")));
    // The machine's number fields are read with strtod, which must see "."
    // as the decimal point whatever the desktop's language.
    std::setlocale(LC_NUMERIC, "C");
    Sprache::deutsch(&app);

    int rc;
    {
        MainWindow window(nullptr, QStringLiteral("config.json"));
        window.showMaximized();
        rc = app.exec();
    }
    return rc;
}
