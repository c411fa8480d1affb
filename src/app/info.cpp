#include "app/info.h"

#include "ui_info.h"

Info::Info(QWidget *parent, const QString &version)
    : QDialog(parent, Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , ui(new Ui::Info)
{
    // The images live in kovrit_core, a static library: register them here so
    // the linker keeps them for every program that shows this dialog.
    Q_INIT_RESOURCE(kovrit);
    ui->setupUi(this);
    ui->version->setText(version);
}

Info::~Info()
{
    delete ui;
}
