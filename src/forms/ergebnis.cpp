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
    // Wide enough for a series of three digits from the start: a label that
    // grows with its text would shift the panels beside it mid-card.
    ui->ringe->setMinimumWidth(ui->ringe->fontMetrics().horizontalAdvance(QStringLiteral("888 / 8888")));
    ui->zehntel->setMinimumWidth(
        ui->zehntel->fontMetrics().horizontalAdvance(QStringLiteral("888,8 / 8888,8")));
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
