#include "targets/scheibenlayout.h"
#include "ui_scheibenlayout.h"

#include "targets/geometrie.h"
#include "targets/gleichegroesse.h"
#include "targets/lgscheibe.h"
#include "targets/lpscheibe.h"
#include "targets/rahmenstil.h"

#include <QHBoxLayout>
#include <QLayoutItem>
#include <QPushButton>

ScheibenLayout::ScheibenLayout(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::ScheibenLayout)
    , _gleicheGroesse(new GleicheGroesse(this))
{
    ui->setupUi(this);
    _anzahl = 0;
    // The frame behind the targets is repainted with every target; see RahmenStil.
    ui->schussbild->setStyle(new RahmenStil(this));

    // The buttons join a layout only when the first grid is built.
    _speichernButton = new QPushButton(QStringLiteral("Speichern"), ui->schussbild);
    _speichernButton->setObjectName(QStringLiteral("speichernButton"));
    _speichernButton->setEnabled(false);
    connect(_speichernButton, &QPushButton::clicked, this, &ScheibenLayout::speichernClicked);

    _abbrechenButton = new QPushButton(QStringLiteral("Abbrechen"), ui->schussbild);
    _abbrechenButton->setObjectName(QStringLiteral("abbrechenButton"));
    _abbrechenButton->setEnabled(false);
    connect(_abbrechenButton, &QPushButton::clicked, this, &ScheibenLayout::abbrechenClicked);
    // Return or Enter on the focused button presses it, as in a dialog.
    _speichernButton->setAutoDefault(true);
    _abbrechenButton->setAutoDefault(true);
}

ScheibenLayout::~ScheibenLayout()
{
    for (unsigned i = 0; i < _anzahl; ++i) {
        delete _scheiben[i];
        _scheiben[i] = nullptr;
    }
    _anzahl = 0;
    delete ui;
}

bool ScheibenLayout::setLayout(unsigned anzahl, ScheibenTyp typ, double teilerFaktor)
{
    if (anzahl > MaxScheiben)
        return false;

    // Rows: as many targets side by side as fit at about half the height
    // each. A grid that has no height yet puts them all in one row.
    unsigned proReihe = anzahl;
    if (anzahl > 0 && height() > 0) {
        const int w = width();
        const int h = height();
        const int k = (2 * w + h / 2) / h;
        if (k < static_cast<int>(anzahl))
            proReihe = (anzahl + 1) / 2;
    }

    // The next card of a match nearly always has the same targets. They are
    // cleared and kept: new ones would be laid out and painted twice over,
    // most of a frame at full-screen sizes.
    const bool gleich
        = anzahl > 0 && anzahl == _anzahl && proReihe == _proReihe && (typ == Lg) == _luftgewehr;
    const double abstand = Geometrie::teilerAbstand(typ, teilerFaktor);
    _abbrechenButton->setEnabled(false);
    _speichernButton->setEnabled(false);
    if (gleich) {
        for (unsigned i = 0; i < _anzahl; ++i) {
            _scheiben[i]->setTeilerAbstand(abstand);
            _scheiben[i]->clearScheibe();
        }
        return true;
    }

    for (unsigned i = 0; i < _anzahl; ++i) {
        delete _scheiben[i];
        _scheiben[i] = nullptr;
    }
    // Rows, stretches and the old button row go; the buttons themselves stay.
    while (QLayoutItem *item = ui->body->takeAt(0))
        delete item;

    unsigned erzeugt = 0;
    while (erzeugt < anzahl) {
        auto *reihe = new QHBoxLayout;
        const bool kurz = anzahl - erzeugt < proReihe;
        if (kurz)
            reihe->addStretch(1);
        for (unsigned n = 0; n < proReihe && erzeugt < anzahl; ++n, ++erzeugt) {
            LxScheibe *scheibe;
            if (typ == Lg)
                scheibe = new LgScheibe(ui->schussbild, erzeugt, abstand);
            else
                scheibe = new LpScheibe(ui->schussbild, erzeugt, abstand);
            connect(scheibe, &LxScheibe::scheibeClicked, this, &ScheibenLayout::onScheibeClicked);
            _scheiben[erzeugt] = scheibe;
            reihe->addWidget(scheibe, 2);
        }
        // A short last row is centred under the full one.
        if (kurz)
            reihe->addStretch(1);
        ui->body->addLayout(reihe);
    }

    _anzahl = anzahl;
    _proReihe = proReihe;
    _gleicheGroesse->setScheiben(QList<LxScheibe *>(_scheiben, _scheiben + anzahl));
    _luftgewehr = typ == Lg;
    if (erzeugt == 0)
        ui->body->addStretch(1);

    auto *knoepfe = new QHBoxLayout;
    knoepfe->addWidget(_abbrechenButton);
    knoepfe->addWidget(_speichernButton);
    ui->body->addLayout(knoepfe);

    update();
    return true;
}

unsigned ScheibenLayout::getScheibenzahl() const
{
    return _anzahl;
}

LxScheibe *ScheibenLayout::getScheibe(unsigned index) const
{
    if (index >= _anzahl)
        return nullptr;
    return _scheiben[index];
}

bool ScheibenLayout::setScheibe(unsigned index, double x, double y, bool zweifelhaft)
{
    if (index >= _anzahl)
        return false;
    _scheiben[index]->setSchuss(x, y, zweifelhaft ? LxScheibe::Hellrot : LxScheibe::Weiss);
    if (zweifelhaft) {
        _speichernButton->setEnabled(true);
        _abbrechenButton->setEnabled(true);
    }
    return true;
}

bool ScheibenLayout::setScheibe(unsigned index, double x, double y, QString ringeText, QString teilerText,
                                bool zweifelhaft)
{
    if (index >= _anzahl)
        return false;
    _scheiben[index]->setSchuss(x, y, ringeText, teilerText,
                                zweifelhaft ? LxScheibe::Hellrot : LxScheibe::Weiss);
    if (zweifelhaft) {
        _speichernButton->setEnabled(true);
        _abbrechenButton->setEnabled(true);
    }
    return true;
}

bool ScheibenLayout::setScheibeNull(unsigned index)
{
    if (index >= _anzahl)
        return false;
    _scheiben[index]->setSchussUngultig(QStringLiteral("0,0R"), QString(), LxScheibe::Weiss);
    return true;
}

bool ScheibenLayout::setScheibeUngultig(unsigned index)
{
    if (index >= _anzahl)
        return false;
    _scheiben[index]->setSchussUngultig(QStringLiteral("0,0R"), QString(), LxScheibe::Hellrot);
    enableButtons();
    return true;
}

unsigned ScheibenLayout::getRinge() const
{
    unsigned summe = 0;
    for (unsigned i = 0; i < _anzahl; ++i)
        summe += static_cast<unsigned>(_scheiben[i]->ringe());
    return summe;
}

double ScheibenLayout::getZehntel() const
{
    double summe = 0.0;
    for (unsigned i = 0; i < _anzahl; ++i)
        summe += _scheiben[i]->ringe();
    return summe;
}

void ScheibenLayout::commitScheiben()
{
    for (unsigned i = 0; i < _anzahl; ++i)
        _scheiben[i]->commitScheibe();
    _speichernButton->setEnabled(false);
    _abbrechenButton->setEnabled(false);
}

void ScheibenLayout::clearScheiben()
{
    for (unsigned i = 0; i < _anzahl; ++i)
        _scheiben[i]->clearScheibe();
    _speichernButton->setEnabled(false);
    _abbrechenButton->setEnabled(false);
}

void ScheibenLayout::enableAbbrechen(bool enable)
{
    _abbrechenButton->setEnabled(enable);
}

void ScheibenLayout::onScheibeClicked(LxScheibe *scheibe)
{
    enableButtons();
    emit scheibeClicked(scheibe);
}

// Both buttons on and "Speichern" ready for Return: the officer has to decide.
void ScheibenLayout::enableButtons()
{
    _speichernButton->setEnabled(true);
    _abbrechenButton->setEnabled(true);
    _speichernButton->setFocus(Qt::OtherFocusReason);
}
