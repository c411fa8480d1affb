#include "forms/ergebnis.h"

#include "ui_ergebnis.h"

#include "targets/geometrie.h"
#include "targets/rahmenstil.h"

Ergebnis::Ergebnis(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::Ergebnis)
{
    ui->setupUi(this);
    // The totals change with every shot; see RahmenStil.
    ui->groupBox->setStyle(new RahmenStil(this));
}

Ergebnis::~Ergebnis()
{
    delete ui;
}

void Ergebnis::setRinge(int scheibe, int serie)
{
    ui->ringe->setText(QStringLiteral("%1 / %2").arg(scheibe).arg(serie));
}

void Ergebnis::setZehntel(double scheibe, double serie)
{
    ui->zehntel->setText(zehntelText(scheibe) + QStringLiteral(" / ") + zehntelText(serie));
}

QString Ergebnis::zehntelText(double wert)
{
    return Geometrie::zehntelText(wert);
}
