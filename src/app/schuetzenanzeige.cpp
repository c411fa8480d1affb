#include "app/schuetzenanzeige.h"

#include "targets/geometrie.h"
#include "targets/gleichegroesse.h"
#include "targets/lpscheibe.h"
#include "targets/lxscheibe.h"
#include "ui_schuetzenanzeige.h"

#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <typeinfo>

namespace {

void setzeFarbe(QFrame *rahmen, const QColor &farbe)
{
    QPalette p = rahmen->palette();
    p.setColor(QPalette::WindowText, farbe);
    rahmen->setPalette(p);
}

} // namespace

Schuetzenanzeige::Schuetzenanzeige(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowDoesNotAcceptFocus)
    , ui(new Ui::Schuetzenanzeige)
    , _gleicheGroesse(new GleicheGroesse(this))
{
    ui->setupUi(this);
    // Shown or updated, it must never pull the keyboard away from the
    // officer's card number input.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    _raster = new QGridLayout(ui->scheiben);
    _raster->setContentsMargins(0, 0, 0, 0);
    zeige({}, {});
}

Schuetzenanzeige::~Schuetzenanzeige()
{
    delete ui;
}

void Schuetzenanzeige::zeige(const Stand &stand, const QList<const LxScheibe *> &scheiben)
{
    const bool karte = stand.nummer != 0;
    ui->schuetze->setText(karte ? stand.schuetze : QString());
    ui->verein->setText(karte ? stand.verein : QString());
    ui->karte->setText(karte ? tr("Scheibe %1").arg(stand.nummer) : QString());
    ui->ringe->setText(karte ? tr("%1 Ringe (%2)").arg(stand.ringe).arg(Geometrie::zehntelText(stand.zehntel))
                             : QString());
    ui->serie->setText(
        karte ? tr("Serie %1 (%2)").arg(stand.serieRinge).arg(Geometrie::zehntelText(stand.serieZehntel))
              : QString());
    ui->gespeichert->setText(karte && stand.gespeichert ? tr("gespeichert") : QString());

    // A new card may bring another face or another count: the targets are
    // made anew then, otherwise only their state is taken over.
    bool gleich = scheiben.size() == _scheiben.size();
    for (qsizetype i = 0; gleich && i < scheiben.size(); ++i)
        gleich = typeid(*scheiben.at(i)) == typeid(*_scheiben.at(i))
            && scheiben.at(i)->teilerAbstand() == _scheiben.at(i)->teilerAbstand();
    if (!gleich) {
        qDeleteAll(_rahmen);
        _rahmen.clear();
        _scheiben.clear();
        const int spalten = scheiben.size() > 5 ? int(scheiben.size() + 1) / 2 : int(scheiben.size());
        for (qsizetype i = 0; i < scheiben.size(); ++i) {
            auto *rahmen = new QFrame(ui->scheiben);
            rahmen->setFrameStyle(QFrame::Box | QFrame::Plain);
            rahmen->setLineWidth(6);
            auto *box = new QVBoxLayout(rahmen);
            box->setContentsMargins(6, 6, 6, 6);
            LxScheibe *scheibe = scheiben.at(i)->kopie(rahmen);
            scheibe->setAttribute(Qt::WA_TransparentForMouseEvents);
            scheibe->setFocusPolicy(Qt::NoFocus);
            // From the firing line a pistol shot is read in the black; the
            // white rings 1 to 4 would only take room from it.
            if (dynamic_cast<const LpScheibe *>(scheiben.at(i)))
                scheibe->setAusschnitt(5);
            scheibe->setMindestMarke(1.5 * LxScheibe::MindestMarke); // seen from metres away
            box->addWidget(scheibe);
            _raster->addWidget(rahmen, int(i) / spalten, int(i) % spalten);
            _rahmen << rahmen;
            _scheiben << scheibe;
        }
        _gleicheGroesse->setScheiben(_scheiben);
    }
    for (qsizetype i = 0; i < scheiben.size(); ++i) {
        _scheiben.at(i)->uebernehmen(*scheiben.at(i));
        setzeFarbe(_rahmen.at(i),
                   i == stand.letzter ? QColor(0x15, 0x65, 0xc0) : palette().color(QPalette::Window));
    }
}

void Schuetzenanzeige::oeffnen(QWidget *neben)
{
    const QScreen *hier = neben ? neben->screen() : QGuiApplication::primaryScreen();
    for (QScreen *bildschirm : QGuiApplication::screens()) {
        if (bildschirm != hier) {
            setGeometry(bildschirm->geometry());
            show();
            windowHandle()->setScreen(bildschirm);
            showFullScreen();
            return;
        }
    }
    if (!isVisible())
        resize(1024, 720);
    show();
}

void Schuetzenanzeige::resizeEvent(QResizeEvent *event)
{
    // Read from the firing line: the type grows with the window.
    const double f = qMax(0.6, height() / 768.0);
    const auto setze = [f](QLabel *label, int punkte, bool fett) {
        QFont schrift = label->font();
        schrift.setPointSizeF(punkte * f);
        schrift.setBold(fett);
        label->setFont(schrift);
    };
    setze(ui->schuetze, 30, true);
    setze(ui->karte, 22, false);
    setze(ui->verein, 20, false);
    setze(ui->ringe, 40, true);
    setze(ui->serie, 28, false);
    setze(ui->gespeichert, 28, true);
    QWidget::resizeEvent(event);
}

void Schuetzenanzeige::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    emit geschlossen();
}
