#include "app/mainwindow.h"

#include "app/info.h"
#include "app/konfiguration.h"
#include "forms/ergebnis.h"
#include "forms/header.h"
#include "forms/login.h"
#include "targets/lxscheibe.h"
#include "targets/scheibenlayout.h"
#include "ui_mainwindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>

#include <cmath>

const char *const MainWindow::version = "V1.00r1";

MainWindow::MainWindow(QWidget *parent, const QString &path)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    clearTreffer();
    ui->setupUi(this);

    const Konfiguration konfiguration = Konfiguration::lesen(path);
    _maschine.setSerialPort(konfiguration.port);
    _maschine.setDefaults(MaschineRm3::Wertung(konfiguration.wertung),
                          MaschineRm3::Teilergrenze(konfiguration.teilergrenze),
                          MaschineRm3::Drucker(konfiguration.drucker));

    connect(&_maschine, &MaschineRm3::verbindungsFehler, this, &MainWindow::onVerbindungsFehler);
    connect(&_maschine, &MaschineRm3::schuss, &_schussBuffer, &SchussBuffer::push);
    connect(&_schussBuffer, &SchussBuffer::schuss, this, &MainWindow::onSchussReceived);
    connect(&_maschine, &MaschineRm3::schussTimeout, this, &MainWindow::onSchussTimeout);
    connect(&_serviceProvider, &ServiceProvider::loginOk, this, &MainWindow::onLoginDone);
    connect(&_serviceProvider, &ServiceProvider::scheibe, this, &MainWindow::onScheibeFetched);
    connect(&_serviceProvider, &ServiceProvider::setTrefferOk, this, &MainWindow::onSetTrefferOk);
    connect(&_serviceProvider, &ServiceProvider::requestError, this, &MainWindow::onVerbindungsFehler);
    // Beyond the fixed connections: a refused submission re-arms "Speichern"
    // (announced before the error box opens), and the link state is shown.
    connect(&_serviceProvider, &ServiceProvider::setTrefferFailed, this, &MainWindow::onSetTrefferFailed);
    connect(&_maschine, &MaschineRm3::zustandGeaendert, this, &MainWindow::onMaschinenZustand);

    _maschinenStatus = new QLabel(this);
    _maschinenStatus->setObjectName(QStringLiteral("maschinenStatus"));
    ui->statusBar->addPermanentWidget(_maschinenStatus);
    onMaschinenZustand(0);

    _serviceProvider.init(konfiguration.url, konfiguration.jwt);
    gotoLoginLayout();
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::gotoLoginLayout()
{
    entferne(_header);
    entferne(_ergebnis);
    entferne(_scheibenLayout);
    leereBody();

    _login = new Login(ui->centralWidget);
    ui->body->addWidget(_login, 0);
    connect(_login, &Login::anmeldenClicked, &_serviceProvider, &ServiceProvider::doLogin);
    connect(&_serviceProvider, &ServiceProvider::loginFailed, _login, &Login::setAnmeldeFehler);
    connect(_login, &Login::wettkampfRefreshSelected, &_serviceProvider, &ServiceProvider::getWettkampfe);
    connect(&_serviceProvider, &ServiceProvider::wettkampfe, _login, &Login::setWettkampfe);
    _serviceProvider.getWettkampfe();
    ui->body->addStretch(1);

    ui->logoff->setEnabled(false);
    ui->statusBar->showMessage(tr("Offline"));
}

template<typename Widget> void MainWindow::entferne(Widget *&widget)
{
    if (!widget)
        return;
    ui->body->removeWidget(widget);
    delete widget;
    widget = nullptr;
}

void MainWindow::leereBody()
{
    // What is left are the layout items of the previous screen: the box of
    // the target screen or the stretch below the login form.
    for (int n = ui->body->count(); n > 0; --n)
        delete ui->body->takeAt(0);
}

void MainWindow::gotoScheibenLayout(const QString &wettkampf, const QString &user)
{
    Q_UNUSED(user)
    entferne(_login);
    leereBody();

    auto *box = new QHBoxLayout;
    _header = new Header(ui->centralWidget);
    box->addWidget(_header, 3);
    connect(_header, &Header::scheibenIdEntered, &_schussBuffer, &SchussBuffer::clear);
    connect(_header, &Header::scheibenIdEntered, &_serviceProvider, &ServiceProvider::getScheibe);
    connect(_header, &Header::scheibenIdEntered, this, &MainWindow::onScheibenIdEntered);
    _ergebnis = new Ergebnis(ui->centralWidget);
    box->addWidget(_ergebnis, 1);
    ui->body->addLayout(box, 0);

    _scheibenLayout = new ScheibenLayout(ui->centralWidget);
    _scheibenLayout->setLayout(0, ScheibenLayout::Lg, 1.0);
    ui->body->addWidget(_scheibenLayout, 3);
    connect(_scheibenLayout, &ScheibenLayout::scheibeClicked, this, &MainWindow::onScheibeClicked);
    connect(_scheibenLayout, &ScheibenLayout::speichernClicked, this, &MainWindow::onSpeichernClicked);
    connect(_scheibenLayout, &ScheibenLayout::abbrechenClicked, this, &MainWindow::onAbbrechenClicked);

    resetKarte();
    updateErgebnis();
    _header->inputSelect();

    ui->logoff->setEnabled(true);
    ui->statusBar->showMessage(wettkampf);
}

void MainWindow::resetKarte()
{
    _autoSpeichern = false;
    _scheibenId = 0;
    _schussProScheibe = 0;
    _teilerFaktor = 1.0;
    _ringeRest = 0;
    _zehntelRest = 0.0;
    clearTreffer();
}

void MainWindow::clearTreffer()
{
    for (auto &treffer : _treffer)
        treffer.clear();
}

void MainWindow::onScheibenIdEntered()
{
    // Until the new card arrives, shots still land on the old one; they are
    // most likely the new card's, so the old card must not send them to the
    // server as its own.
    _autoSpeichern = false;
}

void MainWindow::onLoginDone(const QString &wettkampf, const QString &user)
{
    gotoScheibenLayout(wettkampf, user);
}

void MainWindow::onScheibeFetched(const ServiceProvider::Scheibe &scheibe)
{
    // A reply that arrives after logoff has no target screen to go to.
    if (!_scheibenLayout)
        return;

    // The hit array and the grid hold at most ten positions; a longer card
    // would arm the machine for shots that could never be shown or stored.
    if (scheibe.schussProScheibe < 0 || quint32(scheibe.schussProScheibe) > maxSchuss) {
        resetKarte();
        _header->inputClear();
        _scheibenLayout->setLayout(0, ScheibenLayout::Lg, 1.0);
        updateErgebnis();
        onVerbindungsFehler(
            tr("Scheibe mit %1 Schuss wird nicht unterstützt (höchstens 10)!").arg(scheibe.schussProScheibe));
        return;
    }

    const QString info = QString::number(scheibe.scheibenProSerie) + QStringLiteral(" Scheibe(n) / Serie; ")
        + QString::number(scheibe.schussProScheibe) + QStringLiteral(" Schuss / Scheibe")
        + QStringLiteral("; Teilerfaktor: ") + QString::number(scheibe.teilerFaktor, 'g', 6)
        + QStringLiteral("; Kaufdatum: ") + scheibe.kaufdatum + QStringLiteral("; Wertungsdatum: ")
        + scheibe.wertungsdatum;
    const QString schuetze = scheibe.schuetze + QStringLiteral(" (")
        + QString::number(quint32(scheibe.schuetzeId)) + QStringLiteral(", ") + scheibe.verein
        + QStringLiteral(")");
    _header->set(schuetze, scheibe.mannschaft, scheibe.wettbewerbe, scheibe.waffe, info);

    _scheibenId = scheibe.id;
    _teilerFaktor = scheibe.teilerFaktor;
    _schussProScheibe = quint32(scheibe.schussProScheibe);
    _ringeRest = scheibe.serieRinge - scheibe.ringe;
    _zehntelRest = scheibe.serieZehntel - scheibe.zehntel;
    _autoSpeichern = true;
    clearTreffer();

    if (scheibe.waffenTyp == 1)
        _scheibenLayout->setLayout(_schussProScheibe, ScheibenLayout::Lg, scheibe.teilerFaktor);
    else if (scheibe.waffenTyp == 2)
        _scheibenLayout->setLayout(_schussProScheibe, ScheibenLayout::Lp, scheibe.teilerFaktor);

    // Hits the server holds beyond the card's positions have no slot.
    const int gespeichert = std::min(int(scheibe.treffer.size()), int(_schussProScheibe));
    for (int i = 0; i < gespeichert; ++i) {
        const ServiceProvider::Treffer &treffer = scheibe.treffer.at(i);
        if (treffer.valid()) {
            const QString teilerText = treffer.ringe > 0 ? LxScheibe::teilerText(treffer.teiler) : QString();
            _scheibenLayout->setScheibe(unsigned(i), treffer.x, treffer.y,
                                        LxScheibe::ringeText(treffer.ringe), teilerText, false);
            _treffer[i] = treffer;
        } else {
            _scheibenLayout->setScheibeNull(unsigned(i));
        }
    }

    updateErgebnis();

    const quint32 n = _schussProScheibe;
    if (scheibe.waffenTyp == 2)
        _maschine.setEinstellungen(MaschineRm3::Luftpistole, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), n, QString());
    else if (n == 5)
        _maschine.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Fuenfer, MaschineRm3::SerieEin,
                                   MaschineRm3::Teilerfaktor(2), 1, QString());
    else if (n == 10)
        _maschine.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Zehner, MaschineRm3::SerieEin,
                                   MaschineRm3::Teilerfaktor(2), 1, QString());
    else
        _maschine.setEinstellungen(MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus,
                                   MaschineRm3::Teilerfaktor(2), n, QString());

    // Shots the machine evaluated while the card was being fetched land on
    // the new card now; the buffer keeps them.
    _schussBuffer.wiederholen();
}

void MainWindow::updateErgebnis()
{
    if (!_ergebnis)
        return;
    int ringe = 0;
    double zehntel = 0.0;
    for (quint32 i = 0; i < _schussProScheibe && i < maxSchuss; ++i) {
        const double r = _treffer[i].ringe;
        if (!(r >= 0)) // an empty slot, or not a number
            continue;
        zehntel += r;
        ringe += int(r);
    }
    _ergebnis->setRinge(ringe, ringe + _ringeRest);
    _ergebnis->setZehntel(zehntel, zehntel + _zehntelRest);
}

void MainWindow::onSchussReceived(quint32 nummer, bool valid, double ringe, double teiler, double x, double y,
                                  bool zweifelhaft)
{
    if (!_scheibenLayout || nummer >= _schussProScheibe)
        return;

    _treffer[nummer].clear();
    if (valid) {
        const double t = teiler / _teilerFaktor;
        _treffer[nummer] = { x, y, ringe, t };
        double angezeigt = t;
        if (t < 0 && ringe >= 0) {
            // The machine gave rings but no Teiler: show what the target
            // computes from the position; the slot keeps the machine's value.
            if (LxScheibe *scheibe = _scheibenLayout->getScheibe(nummer))
                angezeigt = scheibe->teiler(x, y);
        }
        const QString teilerText = ringe > 0 ? LxScheibe::teilerText(angezeigt) : QString();
        _scheibenLayout->setScheibe(nummer, x, y, LxScheibe::ringeText(ringe), teilerText, zweifelhaft);
    } else {
        _scheibenLayout->setScheibeUngultig(nummer);
    }
    _header->inputDisable();
    _scheibenLayout->enableAbbrechen(true);
    updateErgebnis();

    if (!valid || zweifelhaft)
        _autoSpeichern = false;
    else if (nummer + 1 == _schussProScheibe && _autoSpeichern)
        _serviceProvider.setTreffer(_scheibenId, _treffer, _schussProScheibe);
}

void MainWindow::onSchussTimeout(quint32 schusszahl)
{
    if (!_scheibenLayout)
        return;
    for (quint32 i = schusszahl; i < _schussProScheibe; ++i) {
        _treffer[i].clear();
        _scheibenLayout->setScheibeUngultig(i);
        _header->inputDisable();
        _autoSpeichern = false;
    }
    updateErgebnis();
}

void MainWindow::onScheibeClicked(LxScheibe *scheibe)
{
    if (!_scheibenLayout)
        return;
    const quint32 i = scheibe->index();
    if (i < _schussProScheibe) {
        if (scheibe->valid())
            _treffer[i] = { scheibe->x(), scheibe->y(), scheibe->ringe(), scheibe->teiler() };
        else
            _treffer[i].clear();
    }
    _autoSpeichern = false;
    _header->inputDisable();
    updateErgebnis();
}

void MainWindow::onSpeichernClicked()
{
    if (_schussProScheibe != 0)
        _serviceProvider.setTreffer(_scheibenId, _treffer, _schussProScheibe);
}

void MainWindow::onSetTrefferOk()
{
    if (!_scheibenLayout)
        return;
    _scheibenLayout->commitScheiben();
    _header->inputSelect();
    _autoSpeichern = false;
}

void MainWindow::onSetTrefferFailed()
{
    // Slots, targets and totals stay; the officer just presses "Speichern"
    // again once the server is back.
    if (!_scheibenLayout || _schussProScheibe == 0)
        return;
    _scheibenLayout->enableButtons();
}

void MainWindow::onAbbrechenClicked()
{
    resetKarte();
    _header->inputClear();
    _scheibenLayout->clearScheiben();
    updateErgebnis();
}

void MainWindow::on_logoff_triggered()
{
    gotoLoginLayout();
}

void MainWindow::on_exit_triggered()
{
    close();
}

void MainWindow::on_connect_triggered()
{
    _maschine.verbinden();
}

void MainWindow::on_disconnect_triggered()
{
    _maschine.trennen();
}

void MainWindow::onVerbindungsFehler(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, tr("Fehler"), text, QMessageBox::Ok);
    box.exec();
}

void MainWindow::on_info_triggered()
{
    Info info(this, QLatin1String(version));
    info.setWindowTitle(tr("Info"));
    info.setModal(true);
    info.exec();
}

void MainWindow::onMaschinenZustand(int zustand)
{
    static const char *const texte[] = {
        QT_TR_NOOP("Maschine: getrennt"),
        QT_TR_NOOP("Maschine: Verbindungsaufbau..."),
        QT_TR_NOOP("Maschine: verbunden"),
    };
    _maschinenStatus->setText(tr(texte[zustand >= 0 && zustand <= 2 ? zustand : 0]));
}
