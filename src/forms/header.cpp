#include "forms/header.h"

#include "ui_header.h"

Header::Header(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::Header)
{
    ui->setupUi(this);
}

Header::~Header()
{
    delete ui;
}

void Header::set(const QString &schutze, const QString &mannschaft, const QStringList &wettbewerbe,
                 const QString &waffe, const QString &info)
{
    ui->schutze->setText(schutze);
    ui->mannschaft->setText(mannschaft);
    ui->wettbewerb->setText(wettbewerbe.join(QStringLiteral(", ")));
    ui->waffe->setText(waffe);
    ui->info->setText(info);
}

void Header::on_scheibe_returnPressed()
{
    const QString text = ui->scheibe->text();
    if (text.isEmpty())
        return;
    bool ok = false;
    unsigned id = text.toUInt(&ok, 10);
    if (!ok)
        return;
    // A number read with a leading "+" carries one trailing digit that is
    // not part of the card number.
    if (text.startsWith(QLatin1Char('+'))) {
        id /= 10;
        ui->scheibe->setText(QString::number(id));
    }
    ui->scheibe->selectAll();
    emit scheibenIdEntered(id);
}

void Header::inputDisable()
{
    ui->scheibe->setEnabled(false);
}

void Header::inputSelect()
{
    ui->scheibe->setEnabled(true);
    ui->scheibe->setFocus(Qt::OtherFocusReason);
    ui->scheibe->selectAll();
}

void Header::inputClear()
{
    ui->scheibe->setEnabled(true);
    ui->scheibe->setFocus(Qt::OtherFocusReason);
    ui->scheibe->clear();
    ui->waffe->clear();
    ui->schutze->clear();
    ui->mannschaft->clear();
    ui->wettbewerb->clear();
    ui->info->clear();
}
