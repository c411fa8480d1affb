#pragma once

#include <QWidget>

namespace Ui {
class Ergebnis;
}

// Ring totals of the card and of the whole series, in large type.
class Ergebnis : public QWidget
{
    Q_OBJECT

public:
    explicit Ergebnis(QWidget *parent = nullptr);
    ~Ergebnis() override;

    // Whole rings: card, then series.
    void setRinge(int scheibe, int serie);
    // Rings with tenths: card, then series.
    void setZehntel(double scheibe, double serie);

    // One decimal with a comma, whatever the locale: 9.96 reads 10,0.
    static QString zehntelText(double wert);

private:
    Ui::Ergebnis *ui;
};
