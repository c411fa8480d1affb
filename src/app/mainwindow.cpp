#include "app/mainwindow.h"

#include "ui_mainwindow.h"

MainWindow::MainWindow(QWidget *parent, const QString &path)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    Q_UNUSED(path)
    ui->setupUi(this);
}

MainWindow::~MainWindow()
{
    delete ui;
}
