#include "app/mainwindow.h"

#include "app/einstellungen.h"
#include "app/info.h"
#include "app/konfiguration.h"
#include "app/verlaufdock.h"
#include "forms/ergebnis.h"
#include "forms/header.h"
#include "forms/login.h"
#include "targets/lxscheibe.h"
#include "targets/scheibenlayout.h"
#include "ui_mainwindow.h"
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <memory>
#include <utility>

const char *const MainWindow::version = "V1.00r1";

MainWindow::MainWindow(QWidget *parent, const QString &path)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);

    QStringList probleme;
    const Konfiguration konfiguration = Konfiguration::lesen(path, &probleme);
    _url = konfiguration.url;
    _jwt = konfiguration.jwt;
    stelleMaschineEin(konfiguration);

    connect(&_maschine, &MaschineRm3::verbindungsFehler, this, &MainWindow::onVerbindungsFehler);
    connect(&_maschine, &MaschineRm3::schuss, &_schussBuffer, &SchussBuffer::push);
    connect(&_schussBuffer, &SchussBuffer::schuss, this, &MainWindow::onSchussReceived);
    connect(&_maschine, &MaschineRm3::schussTimeout, this, &MainWindow::onSchussTimeout);
    connect(&_serviceProvider, &ServiceProvider::loginOk, this, &MainWindow::onLoginDone);
    connect(&_serviceProvider, &ServiceProvider::scheibe, this, &MainWindow::onScheibeFetched);
    connect(&_serviceProvider, &ServiceProvider::setTrefferOk, this, &MainWindow::onSetTrefferOk);
    connect(&_serviceProvider, &ServiceProvider::requestError, this, &MainWindow::onVerbindungsFehler);
    // Beyond the fixed connections: failures name their request (announced
    // before the error box opens), the link tells when it can take a
    // settings line, and its state is shown.
    connect(&_serviceProvider, &ServiceProvider::setTrefferFailed, &_fluss,
            &Kartenfluss::uebermittlungFehlgeschlagen);
    connect(&_serviceProvider, &ServiceProvider::scheibeFailed, &_fluss, &Kartenfluss::abrufFehlgeschlagen);
    connect(&_maschine, &MaschineRm3::bereit, &_fluss, &Kartenfluss::maschineBereit);
    connect(&_maschine, &MaschineRm3::schussIgnoriert, &_fluss, &Kartenfluss::schussIgnoriert);
    connect(&_maschine, &MaschineRm3::zustandGeaendert, &_fluss, &Kartenfluss::maschinenZustand);
    connect(&_maschine, &MaschineRm3::zustandGeaendert, this, &MainWindow::zeigeMaschinenStatus);
    connect(&_maschine, &MaschineRm3::zustandGeaendert, this, &MainWindow::maschineWieder);
    connect(&_portWaechter, &PortWaechter::geaendert, this, &MainWindow::zeigeMaschinenStatus);

    _zaehlung = new QLabel(this);
    _zaehlung->setObjectName(QStringLiteral("zaehlung"));
    ui->statusBar->addPermanentWidget(_zaehlung);
    connect(&_fluss.verlauf(), &Verlauf::zaehlungGeaendert, _zaehlung, &QLabel::setText);
    _serverStatus = new QLabel(this);
    _serverStatus->setObjectName(QStringLiteral("serverStatus"));
    ui->statusBar->addPermanentWidget(_serverStatus);
    connect(&_serviceProvider, &ServiceProvider::erreichbar, this, &MainWindow::zeigeServer);
    _warteUhr.setInterval(1000);
    connect(&_warteUhr, &Wecker::timeout, this, &MainWindow::zaehleWarten);
    _maschinenStatus = new QLabel(this);
    _maschinenStatus->setObjectName(QStringLiteral("maschinenStatus"));
    ui->statusBar->addPermanentWidget(_maschinenStatus);
    zeigeMaschinenStatus();
    // The menus' empty status tips and every short note end here; the
    // competition name must stay readable all the same.
    connect(ui->statusBar, &QStatusBar::messageChanged, this, [this](const QString &text) {
        if (text.isEmpty() && !_statusText.isEmpty())
            ui->statusBar->showMessage(_statusText);
    });

    richteVerlaufEin(path);
    // What the flow says beyond the targets; the grid's own connections
    // come and go with the grid.
    connect(&_fluss, &Kartenfluss::karteGezeigt, this, &MainWindow::zeigeKarte);
    connect(&_fluss, &Kartenfluss::eingabeGeaendert, this, &MainWindow::zeigeEingabe);
    connect(&_fluss, &Kartenfluss::summenGeaendert, this, &MainWindow::updateErgebnis);
    connect(&_fluss, &Kartenfluss::meldungGeaendert, this, &MainWindow::zeigeMeldung);
    connect(&_fluss, &Kartenfluss::frageNeuAuswerten, this, &MainWindow::frageNeuAuswerten);
    connect(&_fluss, &Kartenfluss::frageZurueckgezogen, this, &MainWindow::frageZurueckgezogen);
    connect(&_fluss, &Kartenfluss::fehler, this, &MainWindow::onVerbindungsFehler);
    connect(&_fluss, &Kartenfluss::maschineGeaendert, this, &MainWindow::zeigeMaschinenStatus);
    connect(&_fluss, &Kartenfluss::ladenGeaendert, this, &MainWindow::zeigeLaden);
    connect(&_fluss, &Kartenfluss::naechsteGeaendert, this, [this](quint32 n) {
        if (_header)
            _header->setNaechste(n);
    });
    // Queued: the card on screen finishes its own step first.
    connect(&_fluss, &Kartenfluss::naechsteFaellig, this, &MainWindow::naechsteEinlesen,
            Qt::QueuedConnection);
    qApp->installEventFilter(this);

    _serviceProvider.init(konfiguration.url, konfiguration.jwt);
    _serviceProvider.setZertifikate(konfiguration.zertifikate);
    // What was wrong with config.json is said once the window stands, and
    // first: a wrong server in it is the likely cause of any network box,
    // so the competition list is asked for once the box is closed.
    _startBericht = probleme.isEmpty() ? QString() : Konfiguration::bericht(path, probleme);
    gotoLoginLayout();
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::richteVerlaufEin(const QString &path)
{
    _verlaufPlatz = new QAction(tr("Verlauf"), this);
    _verlaufPlatz->setShortcut(Qt::Key_F9);
    _verlaufPlatz->setEnabled(false);
    ui->menuDatei->insertAction(ui->logoff, _verlaufPlatz);
    auto *einstellungen = new QAction(tr("Einstellungen…"), this);
    einstellungen->setObjectName(QStringLiteral("einstellungen"));
    connect(einstellungen, &QAction::triggered, this, [this, path] { onEinstellungen(path); });
    ui->menuDatei->insertAction(ui->logoff, einstellungen);
    ui->menuDatei->insertSeparator(ui->logoff);
    _neben.richteMenuesEin(ui->menuDatei, einstellungen, menuBar(), ui->menuInfo->menuAction());
    connect(&_neben, &Nebenansichten::fehler, this, &MainWindow::onVerbindungsFehler);

    // Alt+D and Alt+M open the menus; the titles read as before.
    ui->menuDatei->setTitle(tr("&Datei"));
    ui->menuMaschine->setTitle(tr("&Maschine"));
    ui->exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    ui->logoff->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    ui->connect->setShortcut(Qt::Key_F5);
    ui->disconnect->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    ui->info->setShortcut(Qt::Key_F1);
}

VerlaufDock *MainWindow::verlaufDock()
{
    if (_verlaufDock)
        return _verlaufDock;
    _verlaufDock = new VerlaufDock(_fluss.verlauf(), this);
    connect(_verlaufDock, &VerlaufDock::nummerGewaehlt, this, &MainWindow::onVerlaufGewaehlt);
    addDockWidget(Qt::RightDockWidgetArea, _verlaufDock);
    resizeDocks({ _verlaufDock }, { 380 }, Qt::Horizontal);
    QAction *verlaufZeigen = _verlaufDock->toggleViewAction();
    verlaufZeigen->setShortcut(Qt::Key_F9);
    ui->menuDatei->insertAction(_verlaufPlatz, verlaufZeigen);
    delete std::exchange(_verlaufPlatz, nullptr);
    return _verlaufDock;
}

void MainWindow::gotoLoginLayout()
{
    // Server settings changed while logged in take effect now.
    if (std::exchange(_serverNeu, false))
        _serviceProvider.init(_url, _jwt);
    _fluss.abgemeldet();
    entferne(_header);
    entferne(_ergebnis);
    entferne(_meldung);
    entferne(_scheibenLayout);
    leereBody();
    _neben.setRaster(nullptr, QString());

    _login = new Login(ui->centralWidget);
    ui->body->addWidget(_login, 0);
    connect(_login, &Login::anmeldenClicked, &_serviceProvider, &ServiceProvider::doLogin);
    connect(&_serviceProvider, &ServiceProvider::loginFailed, _login, &Login::setAnmeldeFehler);
    connect(_login, &Login::wettkampfRefreshSelected, &_serviceProvider, &ServiceProvider::getWettkampfe);
    connect(&_serviceProvider, &ServiceProvider::wettkampfe, _login, &Login::setWettkampfe);
    if (_startBericht.isEmpty()) {
        _serviceProvider.getWettkampfe();
    } else {
        QTimer::singleShot(0, this, [this] {
            onVerbindungsFehler(std::exchange(_startBericht, QString()));
            _serviceProvider.getWettkampfe();
        });
    }
    ui->body->addStretch(1);

    ui->logoff->setEnabled(false);
    _statusText = tr("Offline");
    ui->statusBar->showMessage(_statusText);
    zeigeMaschinenStatus();
    if (_verlaufDock) {
        _verlaufDock->toggleViewAction()->setEnabled(false);
        _verlaufDock->hide();
    }
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
    // After the fetch is sent, so the flow learns its request number.
    connect(_header, &Header::scheibenIdEntered, this,
            [this](unsigned id) { _fluss.nummerEingegeben(id, _serviceProvider.letzterAuftrag()); });
    _ergebnis = new Ergebnis(ui->centralWidget);
    box->addWidget(_ergebnis, 1);
    ui->body->addLayout(box, 0);
    // Whether the card is saved, in words large enough to read from a step
    // away: a finished card must never look like one still waiting.
    _meldung = new QLabel(ui->centralWidget);
    _meldung->setObjectName(QStringLiteral("meldung"));
    QFont gross = _meldung->font();
    gross.setPointSize(15);
    gross.setBold(true);
    _meldung->setFont(gross);
    _meldung->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    _meldung->setMinimumHeight(_meldung->fontMetrics().height());
    ui->body->addWidget(_meldung, 0);

    _scheibenLayout = new ScheibenLayout(ui->centralWidget);
    _scheibenLayout->setLayout(0, ScheibenLayout::Lg, 1.0);
    ui->body->addWidget(_scheibenLayout, 3);
    connect(_scheibenLayout, &ScheibenLayout::scheibeClicked, this, &MainWindow::onScheibeClicked);
    connect(_scheibenLayout, &ScheibenLayout::speichernClicked, this, &MainWindow::onSpeichernClicked);
    connect(_scheibenLayout, &ScheibenLayout::abbrechenClicked, this, &MainWindow::onAbbrechenClicked);
    using L = ScheibenLayout;
    connect(&_fluss, &Kartenfluss::zielGesetzt, _scheibenLayout,
            qOverload<unsigned, double, double, QString, QString, bool>(&L::setScheibe));
    connect(&_fluss, &Kartenfluss::zielLeer, _scheibenLayout, &L::setScheibeNull);
    connect(&_fluss, &Kartenfluss::zielUngueltig, _scheibenLayout, &L::setScheibeUngultig);
    connect(&_fluss, &Kartenfluss::zieleFestgeschrieben, _scheibenLayout, &L::commitScheiben);
    connect(&_fluss, &Kartenfluss::zieleGeleert, _scheibenLayout, &L::clearScheiben);
    connect(&_fluss, &Kartenfluss::abbrechenFreigegeben, _scheibenLayout,
            [this] { _scheibenLayout->enableAbbrechen(true); });
    connect(&_fluss, &Kartenfluss::entscheidungNoetig, _scheibenLayout, &L::enableButtons);

    _neben.setRaster(_scheibenLayout, wettkampf);
    _fluss.angemeldet();

    ui->logoff->setEnabled(true);
    _statusText = wettkampf;
    ui->statusBar->showMessage(_statusText);
    zeigeMaschinenStatus();
    VerlaufDock *const dock = verlaufDock();
    dock->spaltenBreiten();
    dock->toggleViewAction()->setEnabled(true);
    // On a small screen the targets need the room; F9 shows the list.
    dock->setVisible(width() >= 1280);
}

void MainWindow::onLoginDone(const QString &wettkampf, const QString &user)
{
    gotoScheibenLayout(wettkampf, user);
}

void MainWindow::onScheibeFetched(const ServiceProvider::Scheibe &scheibe)
{
    _fluss.scheibeErhalten(_serviceProvider.antwortAuftrag(), scheibe);
}

void MainWindow::onSetTrefferOk()
{
    _fluss.uebermittlungOk(_serviceProvider.antwortAuftrag());
}

void MainWindow::onSchussReceived(quint32 nummer, bool valid, double ringe, double teiler, double x, double y,
                                  bool zweifelhaft)
{
    _fluss.schuss(nummer, valid, ringe, teiler, x, y, zweifelhaft);
}

void MainWindow::onSchussTimeout(quint32 schusszahl)
{
    _fluss.schussTimeout(schusszahl);
}

void MainWindow::onScheibeClicked(LxScheibe *scheibe)
{
    if (!scheibe->vonHandGesetzt())
        _fluss.vonHand(scheibe->index(), Kartenfluss::Hand::Entsperrt);
    else if (!scheibe->valid())
        _fluss.vonHand(scheibe->index(), Kartenfluss::Hand::Entwertet);
    else
        _fluss.vonHand(scheibe->index(), Kartenfluss::Hand::Gesetzt,
                       { scheibe->x(), scheibe->y(), scheibe->ringe(), scheibe->teiler() });
}

void MainWindow::onSpeichernClicked()
{
    _fluss.speichern();
}

void MainWindow::onAbbrechenClicked()
{
    _fluss.abbrechen();
}

// The header and the grid for the card the flow took; after a refused card
// the grid stands empty.
void MainWindow::zeigeKarte()
{
    if (!_scheibenLayout)
        return;
    if (!_fluss.hatKarte()) {
        _scheibenLayout->setLayout(0, ScheibenLayout::Lg, 1.0);
        return;
    }
    const ServiceProvider::Scheibe &k = _fluss.karte();
    _header->zeige(k);
    if (k.waffenTyp == 1)
        _scheibenLayout->setLayout(_fluss.schussProScheibe(), ScheibenLayout::Lg, k.teilerFaktor);
    else if (k.waffenTyp == 2)
        _scheibenLayout->setLayout(_fluss.schussProScheibe(), ScheibenLayout::Lp, k.teilerFaktor);
}

void MainWindow::zeigeEingabe(Kartenfluss::Eingabe eingabe)
{
    if (!_header)
        return;
    if (eingabe == Kartenfluss::Eingabe::Gesperrt)
        _header->inputDisable();
    else if (eingabe == Kartenfluss::Eingabe::Gewaehlt)
        _header->inputSelect();
    else
        _header->inputClear();
}

void MainWindow::updateErgebnis()
{
    if (!_ergebnis)
        return;
    const Kartenfluss::Summen s = _fluss.summen();
    _ergebnis->setRinge(s.ringe, s.serieRinge);
    _ergebnis->setZehntel(s.zehntel, s.serieZehntel);
    _neben.aktualisieren();
}

void MainWindow::zeigeMeldung(const QString &text, bool gespeichert)
{
    if (!_meldung)
        return;
    QPalette farben = _meldung->palette();
    farben.setColor(QPalette::WindowText, gespeichert ? QColor(0x1b, 0x5e, 0x20) : QColor(0x20, 0x20, 0x20));
    _meldung->setPalette(farben);
    _meldung->setText(text);
    _neben.aktualisieren();
    // A server that takes its time is seen to: the wait counts the seconds.
    _warteSekunden = 0;
    if (text == Verlauf::zustandText(Verlauf::WirdGespeichert))
        _warteUhr.start();
    else
        _warteUhr.stop();
}

void MainWindow::zaehleWarten()
{
    if (!_meldung)
        return;
    ++_warteSekunden;
    const QString text = Verlauf::zustandText(Verlauf::WirdGespeichert) + tr(" %1 s").arg(_warteSekunden);
    _meldung->setText(_warteSekunden < 3 ? text : text + tr(" – Esc: nicht mehr warten"));
}

void MainWindow::zeigeServer(bool antwortet)
{
    if (antwortet)
        _stummSeit = QDateTime();
    else if (!_stummSeit.isValid())
        _stummSeit = Uhr::aktuell().jetzt();
    _serverStatus->setText(
        antwortet ? tr("Server: antwortet")
                  : tr("Server: keine Antwort seit %1").arg(_stummSeit.toString(QStringLiteral("hh:mm:ss"))));
}

void MainWindow::stelleMaschineEin(const Konfiguration &k)
{
    _maschine.setSerialPort(k.port);
    _maschine.setDefaults(MaschineRm3::Wertung(k.wertung), MaschineRm3::Teilergrenze(k.teilergrenze),
                          MaschineRm3::Drucker(k.drucker));
}

void MainWindow::onEinstellungen(const QString &pfad)
{
    Konfiguration k = Konfiguration::lesen(pfad);
    if (!Einstellungen::bearbeiten(this, pfad, &k))
        return;
    stelleMaschineEin(k);
    if (k.url == _url && k.jwt == _jwt)
        return;
    _url = k.url;
    _jwt = k.jwt;
    // A new server or token needs a new login; the card on screen keeps
    // the login it was fetched with until then.
    if (_scheibenLayout) {
        _serverNeu = true;
        hinweis(tr("Neue Server-Einstellungen gelten ab der nächsten Anmeldung"));
    } else {
        _serviceProvider.init(_url, _jwt);
        _serviceProvider.getWettkampfe();
    }
}

void MainWindow::on_logoff_triggered()
{
    if (verwerfenErlaubt())
        gotoLoginLayout();
}

void MainWindow::on_exit_triggered()
{
    close();
}

void MainWindow::on_connect_triggered()
{
    _portWaechter.stop();
    _maschine.verbinden();
}

void MainWindow::on_disconnect_triggered()
{
    _portWaechter.stop();
    _maschine.trennen();
}

void MainWindow::on_info_triggered()
{
    Info info(this, QLatin1String(version));
    info.setWindowTitle(tr("Info"));
    info.setModal(true);
    info.exec();
}

void MainWindow::zeigeMaschinenStatus()
{
    _maschinenStatus->setText(_fluss.maschinenText(_maschine.zustand(), _portWaechter.wartet(),
                                                   _portWaechter.verbindetNeu(), _maschine.serialPort()));
    _maschinenStatus->setToolTip(
        _fluss.ignoriert() == 0
            ? QString()
            : tr("Die Maschine hat Schüsse gemeldet, die keine Scheibe erwartete: vor der Einstellung der "
                 "Scheibe auf dem Schirm oder nach ihrem letzten Schuss. Gehören sie zu dieser Scheibe, "
                 "abbrechen und die Karte erneut einlesen."));
}
