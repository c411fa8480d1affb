#include "forms/ergebnis.h"

#include "ui_ergebnis.h"

#include "targets/rahmenstil.h"

#include <cmath>

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
    // std::llround rounds halves away from zero. The sign is kept in front
    // of the whole part, so -0.5 reads -0,5 and not 0,-5.
    const long long n = std::isfinite(wert) ? std::llround(wert * 10.0) : 0;
    const long long betrag = n < 0 ? -n : n;
    return QStringLiteral("%1%2,%3")
        .arg(n < 0 ? QStringLiteral("-") : QString())
        .arg(betrag / 10)
        .arg(betrag % 10);
}
