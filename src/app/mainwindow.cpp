#include "app/mainwindow.h"

#include "app/einstellungen.h"
#include "app/info.h"
#include "app/konfiguration.h"
#include "forms/ergebnis.h"
#include "forms/header.h"
#include "forms/login.h"
#include "targets/lxscheibe.h"
#include "targets/scheibenlayout.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QSysInfo>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

bool gleich(const ServiceProvider::Treffer &a, const ServiceProvider::Treffer &b)
{
    return a.x == b.x && a.y == b.y && a.ringe == b.ringe && a.teiler == b.teiler;
}

// Ring totals from a broken server can be absurd; they are shown clamped
// rather than overflowing.
qint32 begrenzt(double wert)
{
    return qint32(
        qBound(double(std::numeric_limits<qint32>::min()), wert, double(std::numeric_limits<qint32>::max())));
}

} // namespace

const char *const MainWindow::version = "V1.00r1";

MainWindow::MainWindow(QWidget *parent, const QString &path)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    clearTreffer();
    ui->setupUi(this);

    QStringList probleme;
    const Konfiguration konfiguration = Konfiguration::lesen(path, &probleme);
    _url = konfiguration.url;
    _jwt = konfiguration.jwt;
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
    connect(&_serviceProvider, &ServiceProvider::scheibeFailed, this, &MainWindow::onScheibeFailed);
    connect(&_maschine, &MaschineRm3::zustandGeaendert, this, &MainWindow::onMaschinenZustand);
    connect(&_maschine, &MaschineRm3::bereit, this, &MainWindow::onMaschineBereit);
    connect(&_maschine, &MaschineRm3::schussIgnoriert, this, &MainWindow::onSchussIgnoriert);
    connect(&_portWaechter, &PortWaechter::geaendert, this, &MainWindow::zeigeMaschinenStatus);

    _zaehlung = new QLabel(this);
    _zaehlung->setObjectName(QStringLiteral("zaehlung"));
    ui->statusBar->addPermanentWidget(_zaehlung);
    connect(&_verlauf, &Verlauf::zaehlungGeaendert, _zaehlung, &QLabel::setText);
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
    qApp->installEventFilter(this);

    _serviceProvider.init(konfiguration.url, konfiguration.jwt);
    _serviceProvider.setZertifikate(konfiguration.zertifikate);
    gotoLoginLayout();

    // What was wrong with config.json is said once the window stands.
    if (!probleme.isEmpty())
        QTimer::singleShot(
            0, this, [this, text = Konfiguration::bericht(path, probleme)] { onVerbindungsFehler(text); });
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::richteVerlaufEin(const QString &path)
{
    _verlaufAnsicht = new QTableView;
    _verlaufAnsicht->setObjectName(QStringLiteral("verlauf"));
    _verlaufAnsicht->setModel(&_verlauf);
    _verlaufAnsicht->setSelectionBehavior(QAbstractItemView::SelectRows);
    _verlaufAnsicht->setSelectionMode(QAbstractItemView::SingleSelection);
    _verlaufAnsicht->setEditTriggers(QAbstractItemView::NoEditTriggers);
    _verlaufAnsicht->verticalHeader()->hide();
    _verlaufAnsicht->setWordWrap(false);
    _verlaufAnsicht->horizontalHeader()->setSectionResizeMode(Verlauf::Schuetze, QHeaderView::Stretch);
    connect(_verlaufAnsicht, &QAbstractItemView::activated, this,
            [this](const QModelIndex &index) { onVerlaufGewaehlt(index.row()); });
    _verlaufDock = new QDockWidget(tr("Verlauf"), this);
    _verlaufDock->setObjectName(QStringLiteral("verlaufDock"));
    _verlaufDock->setWidget(_verlaufAnsicht);
    _verlaufDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    addDockWidget(Qt::RightDockWidgetArea, _verlaufDock);
    resizeDocks({ _verlaufDock }, { 380 }, Qt::Horizontal);
    QAction *verlaufZeigen = _verlaufDock->toggleViewAction();
    verlaufZeigen->setShortcut(Qt::Key_F9);
    ui->menuDatei->insertAction(ui->logoff, verlaufZeigen);
    auto *einstellungen = new QAction(tr("Einstellungen…"), this);
    einstellungen->setObjectName(QStringLiteral("einstellungen"));
    connect(einstellungen, &QAction::triggered, this, [this, path] { onEinstellungen(path); });
    ui->menuDatei->insertAction(ui->logoff, einstellungen);
    ui->menuDatei->insertSeparator(ui->logoff);
    _drucken = new QAction(tr("Drucken…"), this);
    _drucken->setObjectName(QStringLiteral("drucken"));
    _drucken->setShortcut(QKeySequence::Print);
    connect(_drucken, &QAction::triggered, this, &MainWindow::onDrucken);
    _pdf = new QAction(tr("Als PDF speichern…"), this);
    _pdf->setObjectName(QStringLiteral("pdf"));
    connect(_pdf, &QAction::triggered, this, &MainWindow::onPdf);
    ui->menuDatei->insertActions(einstellungen, { _drucken, _pdf });

    // The shooter's display: a window of its own, for a second monitor.
    auto *ansicht = new QMenu(tr("&Ansicht"), this);
    menuBar()->insertMenu(ui->menuInfo->menuAction(), ansicht);
    _anzeigeZeigen = ansicht->addAction(tr("Schützenanzeige"));
    _anzeigeZeigen->setObjectName(QStringLiteral("schuetzenanzeige"));
    _anzeigeZeigen->setCheckable(true);
    connect(_anzeigeZeigen, &QAction::toggled, this, &MainWindow::onSchuetzenanzeige);
    QAction *vollbild = ansicht->addAction(tr("Schützenanzeige als Vollbild"));
    vollbild->setObjectName(QStringLiteral("schuetzenanzeigeVollbild"));
    vollbild->setShortcut(Qt::Key_F11);
    connect(vollbild, &QAction::triggered, this, [this] {
        _anzeigeZeigen->setChecked(true);
        if (_anzeige->isFullScreen())
            _anzeige->showNormal();
        else
            _anzeige->showFullScreen();
    });

    // Alt+D and Alt+M open the menus; the titles read as before.
    ui->menuDatei->setTitle(tr("&Datei"));
    ui->menuMaschine->setTitle(tr("&Maschine"));
    ui->exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    ui->logoff->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    ui->connect->setShortcut(Qt::Key_F5);
    ui->disconnect->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    ui->info->setShortcut(Qt::Key_F1);
}

// Columns as wide as their usual texts in bold (the card on screen), set at
// the login: sizing them to the contents at every change cost most of a frame
// with each save, and measuring the bold font loads it, which the start-up
// need not wait for. A longer state than "gespeichert" is elided and shown
// whole as a tooltip; the saved line above the targets says it in full.
void MainWindow::verlaufSpalten()
{
    QFont fett = _verlaufAnsicht->font();
    fett.setBold(true);
    const QFontMetrics schrift(fett);
    const auto breite = [&](const QStringList &texte) {
        int b = 0;
        for (const QString &t : texte)
            b = qMax(b, schrift.horizontalAdvance(t) + 10);
        return b;
    };
    QHeaderView *kopf = _verlaufAnsicht->horizontalHeader();
    kopf->resizeSection(Verlauf::Nummer, breite({ tr("Scheibe"), QStringLiteral("000000") }));
    kopf->resizeSection(Verlauf::Ringe, breite({ tr("Ringe"), QStringLiteral("100 (104,2)") }));
    kopf->resizeSection(Verlauf::Zeit, breite({ tr("Zeit"), QStringLiteral("00:00") }));
    kopf->resizeSection(Verlauf::Status, breite({ Verlauf::zustandText(Verlauf::Gespeichert) }));
}

void MainWindow::gotoLoginLayout()
{
    // Server settings changed while logged in take effect now.
    if (std::exchange(_serverNeu, false))
        _serviceProvider.init(_url, _jwt);
    // Replies to entries made before the logoff have no card to go to.
    _abruf = 0;
    _einstellungOffen = false;
    entferne(_header);
    entferne(_ergebnis);
    entferne(_meldung);
    entferne(_scheibenLayout);
    leereBody();
    _anzeigeStand = {};
    zeigeAnzeige();

    _login = new Login(ui->centralWidget);
    ui->body->addWidget(_login, 0);
    connect(_login, &Login::anmeldenClicked, &_serviceProvider, &ServiceProvider::doLogin);
    connect(&_serviceProvider, &ServiceProvider::loginFailed, _login, &Login::setAnmeldeFehler);
    connect(_login, &Login::wettkampfRefreshSelected, &_serviceProvider, &ServiceProvider::getWettkampfe);
    connect(&_serviceProvider, &ServiceProvider::wettkampfe, _login, &Login::setWettkampfe);
    _serviceProvider.getWettkampfe();
    ui->body->addStretch(1);

    ui->logoff->setEnabled(false);
    _statusText = tr("Offline");
    ui->statusBar->showMessage(_statusText);
    zeigeMaschinenStatus();
    _verlauf.leeren();
    _verlaufDock->toggleViewAction()->setEnabled(false);
    _verlaufDock->hide();
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
    // After the fetch is sent, so the window knows its request number.
    connect(_header, &Header::scheibenIdEntered, this, &MainWindow::onScheibenIdEntered);
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

    resetKarte();
    _abruf = 0;
    updateErgebnis();
    _header->inputSelect();

    ui->logoff->setEnabled(true);
    _statusText = wettkampf;
    ui->statusBar->showMessage(_statusText);
    zeigeMaschinenStatus();
    verlaufSpalten();
    _verlaufDock->toggleViewAction()->setEnabled(true);
    // On a small screen the targets need the room; F9 shows the list.
    _verlaufDock->setVisible(width() >= 1280);
}

void MainWindow::resetKarte()
{
    ++_karte;
    _autoSpeichern = AutoSpeichern::Aus;
    _scheibenId = 0;
    _scheibenNummer = 0;
    _schussProScheibe = 0;
    _teilerFaktor = 1.0;
    _ringeRest = 0;
    _zehntelRest = 0.0;
    _einstellungOffen = false;
    clearTreffer();
    for (auto &treffer : _gespeichert)
        treffer.clear();
    for (auto &vermerk : _vermerk)
        vermerk.clear();
    _anzeigeStand = {};
}

void MainWindow::clearTreffer()
{
    for (auto &treffer : _treffer)
        treffer.clear();
}

void MainWindow::onScheibenIdEntered(unsigned id)
{
    _abruf = _serviceProvider.letzterAuftrag();
    _abrufNummer = id;
    if (_autoSpeichern == AutoSpeichern::Scharf)
        _autoSpeichern = AutoSpeichern::Gehalten;
}

void MainWindow::freigeben()
{
    if (_autoSpeichern == AutoSpeichern::Gehalten) {
        _autoSpeichern = AutoSpeichern::Scharf;
    } else if (_autoSpeichern == AutoSpeichern::Faellig) {
        // The card filled up while its submission was held: the officer
        // decides, as the shots may have been meant for the other number.
        _autoSpeichern = AutoSpeichern::Scharf;
        _scheibenLayout->enableButtons();
    }
}

void MainWindow::onScheibeFailed()
{
    // A failed fetch changes nothing about the card on screen; only the
    // failure of the latest entry ends the hold on its submission.
    const quint32 auftrag = _serviceProvider.antwortAuftrag();
    if (!_scheibenLayout || auftrag == 0 || auftrag != _abruf)
        return;
    _abruf = 0;
    freigeben();
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
    // Only the reply to the latest entry counts: an earlier one that took
    // longer would put another card under the number in the input.
    const quint32 auftrag = _serviceProvider.antwortAuftrag();
    if (auftrag == 0 || auftrag != _abruf) {
        qInfo().noquote() << QStringLiteral(
                                 "MainWindow::onScheibeFetched: reply for card id %1 to an earlier "
                                 "entry dropped")
                                 .arg(scheibe.id);
        return;
    }

    // Hits of this card went out after this reply was asked for, so it may
    // not show them: ask again rather than offer the card as unevaluated.
    if (_letzteUebermittlung.value(scheibe.id) > auftrag) {
        _serviceProvider.getScheibe(_abrufNummer);
        _abruf = _serviceProvider.letzterAuftrag();
        return;
    }

    // The hit array and the grid hold at most ten positions; a longer card
    // would arm the machine for shots that could never be shown or stored.
    if (scheibe.schussProScheibe < 0 || quint32(scheibe.schussProScheibe) > maxSchuss) {
        _abruf = 0;
        _verlauf.setAktuell(0);
        resetKarte();
        _header->inputClear();
        _scheibenLayout->setLayout(0, ScheibenLayout::Lg, 1.0);
        updateErgebnis();
        zeigeMaschinenStatus();
        onVerbindungsFehler(
            tr("Scheibe mit %1 Schuss wird nicht unterstützt (höchstens 10)!").arg(scheibe.schussProScheibe));
        return;
    }

    // Stored results are not overwritten without the officer's word. The
    // submission of the card on screen stays held while the question is open.
    const QPointer<MainWindow> fenster(this);
    const bool neu = neuAuswerten(scheibe);
    if (!fenster)
        return; // closed while the question was open
    if (!neu || !_scheibenLayout || auftrag != _abruf) {
        if (_scheibenLayout && auftrag == _abruf) {
            _abruf = 0;
            freigeben();
            _header->inputSelect();
        }
        return;
    }
    _abruf = 0;
    nimmKarte(scheibe);
}

bool MainWindow::neuAuswerten(const ServiceProvider::Scheibe &scheibe)
{
    const auto gueltig = std::count_if(scheibe.treffer.cbegin(), scheibe.treffer.cend(),
                                       [](const ServiceProvider::Treffer &t) { return t.valid(); });
    if (gueltig == 0)
        return true;
    return frage(tr("Scheibe bereits ausgewertet"),
                 tr("Scheibe %1 von %2 ist bereits ausgewertet (%3 Treffer, %4 Ringe, %5). "
                    "Neu auswerten?")
                     .arg(_abrufNummer)
                     .arg(scheibe.schuetze)
                     .arg(gueltig)
                     .arg(scheibe.ringe)
                     .arg(scheibe.wertungsdatum));
}

void MainWindow::nimmKarte(const ServiceProvider::Scheibe &scheibe)
{
    const QString info = QString::number(scheibe.scheibenProSerie) + QStringLiteral(" Scheibe(n) / Serie; ")
        + QString::number(scheibe.schussProScheibe) + QStringLiteral(" Schuss / Scheibe")
        + QStringLiteral("; Teilerfaktor: ") + QString::number(scheibe.teilerFaktor, 'g', 6)
        + QStringLiteral("; Kaufdatum: ") + scheibe.kaufdatum + QStringLiteral("; Wertungsdatum: ")
        + scheibe.wertungsdatum;
    const QString schuetze = scheibe.schuetze + QStringLiteral(" (")
        + QString::number(quint32(scheibe.schuetzeId)) + QStringLiteral(", ") + scheibe.verein
        + QStringLiteral(")");
    _header->set(schuetze, scheibe.mannschaft, scheibe.wettbewerbe, scheibe.waffe, info);

    resetKarte();
    _scheibenId = scheibe.id;
    _scheibenNummer = _abrufNummer;
    _teilerFaktor = scheibe.teilerFaktor;
    _schussProScheibe = quint32(scheibe.schussProScheibe);
    _ringeRest = begrenzt(double(scheibe.serieRinge) - scheibe.ringe);
    _zehntelRest = scheibe.serieZehntel - scheibe.zehntel;
    _autoSpeichern = AutoSpeichern::Scharf;
    _karteDaten = scheibe;
    _anzeigeStand.nummer = _scheibenNummer;
    _anzeigeStand.schuetze = scheibe.schuetze;
    _anzeigeStand.verein = scheibe.verein;
    _verlauf.neu(_karte, _scheibenNummer, scheibe.schuetze);
    _verlauf.setAktuell(_karte);
    zeigeMeldung(QString());

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
            _gespeichert[i] = treffer;
        } else {
            _scheibenLayout->setScheibeNull(unsigned(i));
        }
    }

    updateErgebnis();

    const quint32 n = _schussProScheibe;
    if (scheibe.waffenTyp == 2)
        _einstellung = { MaschineRm3::Luftpistole, MaschineRm3::Einzel, MaschineRm3::SerieAus, n };
    else if (n == 5)
        _einstellung = { MaschineRm3::Luftgewehr, MaschineRm3::Fuenfer, MaschineRm3::SerieEin, 1 };
    else if (n == 10)
        _einstellung = { MaschineRm3::Luftgewehr, MaschineRm3::Zehner, MaschineRm3::SerieEin, 1 };
    else
        _einstellung = { MaschineRm3::Luftgewehr, MaschineRm3::Einzel, MaschineRm3::SerieAus, n };
    _einstellungOffen = true;
    sendeEinstellung();

    // Shots the machine evaluated while the card was being fetched land on
    // the new card now; the buffer keeps them.
    _schussBuffer.wiederholen();
}

// A card shown while the machine is not connected, or while it still wants
// the acknowledgement of a doubtful shot, gets its settings line as soon as
// the link can take it; otherwise its shots would be dropped by the link.
void MainWindow::sendeEinstellung()
{
    if (_einstellungOffen
        && _maschine.setEinstellungen(_einstellung.waffe, _einstellung.scheibe, _einstellung.serie,
                                      MaschineRm3::Teilerfaktor(2), _einstellung.anzahl, QString())) {
        _einstellungOffen = false;
        _ignoriert = 0;
    }
    zeigeMaschinenStatus();
}

void MainWindow::onMaschineBereit()
{
    if (_scheibenLayout)
        sendeEinstellung();
}

void MainWindow::updateErgebnis()
{
    if (!_ergebnis)
        return;
    double ganze = 0.0;
    double zehntel = 0.0;
    for (quint32 i = 0; i < _schussProScheibe && i < maxSchuss; ++i) {
        const double r = _treffer[i].ringe;
        if (!(r >= 0)) // an empty slot, or not a number
            continue;
        zehntel += r;
        ganze += std::trunc(r);
    }
    const qint32 ringe = begrenzt(ganze);
    _ergebnis->setRinge(ringe, begrenzt(double(ringe) + _ringeRest));
    _ergebnis->setZehntel(zehntel, zehntel + _zehntelRest);
    _verlauf.setRinge(_karte, ringe, zehntel);
    _anzeigeStand.ringe = ringe;
    _anzeigeStand.serieRinge = begrenzt(double(ringe) + _ringeRest);
    _anzeigeStand.zehntel = zehntel;
    _anzeigeStand.serieZehntel = zehntel + _zehntelRest;
    zeigeAnzeige();
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
        _vermerk[nummer] = zweifelhaft ? tr("zweifelhaft") : QString();
    } else {
        _scheibenLayout->setScheibeUngultig(nummer);
        _vermerk[nummer] = tr("ungültig");
    }
    _header->inputDisable();
    _scheibenLayout->enableAbbrechen(true);
    _anzeigeStand.letzter = int(nummer);
    updateErgebnis();

    if (!valid || zweifelhaft) {
        _autoSpeichern = AutoSpeichern::Aus;
    } else if (nummer + 1 == _schussProScheibe) {
        if (_autoSpeichern == AutoSpeichern::Scharf)
            uebermitteln();
        else if (_autoSpeichern == AutoSpeichern::Gehalten)
            _autoSpeichern = AutoSpeichern::Faellig;
    }
}

void MainWindow::onSchussTimeout(quint32 schusszahl)
{
    // The link's count belongs to the card it was last set up for; a card
    // still waiting for its settings line has not been read at all.
    if (!_scheibenLayout || _einstellungOffen)
        return;
    for (quint32 i = schusszahl; i < _schussProScheibe; ++i) {
        _treffer[i].clear();
        _scheibenLayout->setScheibeUngultig(i);
        _vermerk[i] = tr("fehlt (Zeitüberschreitung)");
        _header->inputDisable();
        _autoSpeichern = AutoSpeichern::Aus;
    }
    updateErgebnis();
}

void MainWindow::onSchussIgnoriert(quint32 anzahl)
{
    qInfo().noquote() << QStringLiteral("MainWindow::onSchussIgnoriert: %1 shot line(s) not taken since the "
                                        "last settings line")
                             .arg(anzahl);
    _ignoriert = anzahl;
    zeigeMaschinenStatus();
}

void MainWindow::onScheibeClicked(LxScheibe *scheibe)
{
    if (!_scheibenLayout)
        return;
    // Unlocking alone keeps the machine's values; only a shot placed or
    // voided by hand replaces them.
    const quint32 i = scheibe->index();
    if (i < _schussProScheibe && scheibe->vonHandGesetzt()) {
        _anzeigeStand.letzter = int(i);
        _vermerk[i] = scheibe->valid() ? tr("von Hand gesetzt") : tr("von Hand entwertet");
        if (scheibe->valid())
            _treffer[i] = { scheibe->x(), scheibe->y(), scheibe->ringe(), scheibe->teiler() };
        else
            _treffer[i].clear();
    }
    _autoSpeichern = AutoSpeichern::Aus;
    _header->inputDisable();
    updateErgebnis();
}

void MainWindow::onSpeichernClicked()
{
    if (_schussProScheibe != 0)
        uebermitteln();
}

void MainWindow::uebermitteln()
{
    const quint32 vorher = _serviceProvider.letzterAuftrag();
    _serviceProvider.setTreffer(_scheibenId, _treffer, _schussProScheibe);
    if (_serviceProvider.letzterAuftrag() == vorher)
        return;
    _letzteUebermittlung.insert(_scheibenId, _serviceProvider.letzterAuftrag());
    _uebermittlungen.append({ _serviceProvider.letzterAuftrag(), _karte, _scheibenNummer,
                              QList<ServiceProvider::Treffer>(_treffer, _treffer + _schussProScheibe) });
    _verlauf.setZustand(_karte, Verlauf::WirdGespeichert);
    zeigeMeldung(Verlauf::zustandText(Verlauf::WirdGespeichert));
}

bool MainWindow::nimmUebermittlung(Uebermittlung *uebermittlung)
{
    const quint32 auftrag = _serviceProvider.antwortAuftrag();
    for (qsizetype i = 0; i < _uebermittlungen.size(); ++i) {
        if (_uebermittlungen.at(i).auftrag == auftrag) {
            *uebermittlung = _uebermittlungen.takeAt(i);
            return true;
        }
    }
    return false;
}

void MainWindow::onSetTrefferOk()
{
    Uebermittlung u;
    if (!_scheibenLayout || !nimmUebermittlung(&u))
        return;
    _verlauf.setZustand(u.karte, Verlauf::Gespeichert);
    if (u.karte != _karte) {
        // Stored, but the card has left the screen: nothing here is its.
        qInfo().noquote() << QStringLiteral("MainWindow::onSetTrefferOk: card %1 stored after it left the "
                                            "screen")
                                 .arg(u.nummer);
        return;
    }
    bool unveraendert = true;
    for (quint32 i = 0; i < _schussProScheibe; ++i) {
        _gespeichert[i] = u.treffer.at(i);
        unveraendert = unveraendert && gleich(u.treffer.at(i), _treffer[i]);
    }
    if (!unveraendert) {
        // Corrected while the submission was on its way: the server holds
        // the old values, so the card stays open for "Speichern".
        qInfo().noquote() << "MainWindow::onSetTrefferOk: hits changed since they were sent, not committed";
        _autoSpeichern = AutoSpeichern::Aus;
        _scheibenLayout->enableButtons();
        _verlauf.setZustand(_karte, Verlauf::NichtGespeichert);
        zeigeMeldung(Verlauf::zustandText(Verlauf::NichtGespeichert));
        return;
    }
    _scheibenLayout->commitScheiben();
    _header->inputSelect();
    _autoSpeichern = AutoSpeichern::Aus;
    zeigeMeldung(
        tr("Scheibe %1 gespeichert (%2 Ringe)").arg(_scheibenNummer).arg(_scheibenLayout->getRinge()), true);
}

void MainWindow::onSetTrefferFailed()
{
    Uebermittlung u;
    if (!nimmUebermittlung(&u))
        return;
    _verlauf.setZustand(u.karte, Verlauf::Fehlgeschlagen);
    if (!_scheibenLayout || u.karte != _karte) {
        // The card is gone from the screen; the box has to say which one
        // must be read again.
        _fehlerNachsatz = tr("Scheibe %1 bitte erneut auswerten.").arg(u.nummer);
        return;
    }
    // Slots, targets and totals stay; the officer just presses "Speichern"
    // again once the server is back.
    if (_schussProScheibe != 0)
        _scheibenLayout->enableButtons();
    zeigeMeldung(Verlauf::zustandText(Verlauf::Fehlgeschlagen));
}

void MainWindow::onAbbrechenClicked()
{
    if (_verlauf.zustandVon(_karte) == Verlauf::NichtGespeichert
        || _verlauf.zustandVon(_karte) == Verlauf::Fehlgeschlagen)
        _verlauf.setZustand(_karte, Verlauf::Abgebrochen);
    _verlauf.setAktuell(0);
    zeigeMeldung(QString());
    resetKarte();
    // The machine reads the rest of the cancelled card all the same; those
    // shots must not land on the next one.
    _maschine.karteBeenden();
    _header->inputClear();
    _scheibenLayout->clearScheiben();
    updateErgebnis();
    zeigeMaschinenStatus();
}

bool MainWindow::ungespeichert() const
{
    if (!_scheibenLayout)
        return false;
    for (quint32 i = 0; i < _schussProScheibe; ++i) {
        if (!gleich(_treffer[i], _gespeichert[i]))
            return true;
    }
    return false;
}

bool MainWindow::verwerfenErlaubt()
{
    return !ungespeichert() || frage(tr("Treffer verwerfen"), tr("Nicht gespeicherte Treffer verwerfen?"));
}

bool MainWindow::frage(const QString &titel, const QString &text)
{
    QMessageBox box(QMessageBox::Question, titel, text, QMessageBox::Yes | QMessageBox::No, this);
    box.button(QMessageBox::Yes)->setText(tr("Ja"));
    box.button(QMessageBox::No)->setText(tr("Nein"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!verwerfenErlaubt()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !_header || !watched->isWidgetType()
        || static_cast<QWidget *>(watched)->window() != this)
        return QMainWindow::eventFilter(watched, event);
    auto *taste = static_cast<QKeyEvent *>(event);
    const QString text = taste->text();
    const bool ziffer = text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9')
        && !(taste->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    const bool enter = taste->key() == Qt::Key_Return || taste->key() == Qt::Key_Enter;
    if (_header->inputGesperrt()) {
        if (ziffer) {
            if (!_scanGesperrt)
                hinweis(Header::sperrText());
            _scanGesperrt = true;
            return true;
        }
        const bool verschlucken = enter && _scanGesperrt;
        _scanGesperrt = false;
        return verschlucken;
    }
    _scanGesperrt = false;
    if (ziffer && !_header->isAncestorOf(static_cast<QWidget *>(watched))) {
        _header->tippe(taste);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::zeigeMeldung(const QString &text, bool gespeichert)
{
    QPalette farben = _meldung->palette();
    farben.setColor(QPalette::WindowText, gespeichert ? QColor(0x1b, 0x5e, 0x20) : QColor(0x20, 0x20, 0x20));
    _meldung->setPalette(farben);
    _meldung->setText(text);
    _anzeigeStand.gespeichert = gespeichert;
    zeigeAnzeige();
}

void MainWindow::zeigeAnzeige()
{
    const bool karte = _scheibenLayout && _scheibenId != 0;
    _drucken->setEnabled(karte);
    _pdf->setEnabled(karte);
    if (!_anzeige)
        return;
    QList<const LxScheibe *> scheiben;
    for (unsigned i = 0; _scheibenLayout && _scheibenId != 0 && i < _scheibenLayout->getScheibenzahl(); ++i)
        scheiben << _scheibenLayout->getScheibe(i);
    _anzeige->zeige(_anzeigeStand, scheiben);
}

void MainWindow::onSchuetzenanzeige(bool an)
{
    if (!an) {
        if (_anzeige)
            _anzeige->hide();
        return;
    }
    if (!_anzeige) {
        _anzeige = new Schuetzenanzeige(this);
        // Closed by its own window button: the menu entry follows.
        connect(_anzeige, &Schuetzenanzeige::geschlossen, _anzeigeZeigen,
                [this] { _anzeigeZeigen->setChecked(false); });
    }
    zeigeAnzeige();
    _anzeige->oeffnen(this);
}

void MainWindow::onEinstellungen(const QString &pfad)
{
    Konfiguration k = Konfiguration::lesen(pfad);
    if (!Einstellungen::bearbeiten(this, pfad, &k))
        return;
    _maschine.setSerialPort(k.port);
    _maschine.setDefaults(MaschineRm3::Wertung(k.wertung), MaschineRm3::Teilergrenze(k.teilergrenze),
                          MaschineRm3::Drucker(k.drucker));
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

void MainWindow::hinweis(const QString &text)
{
    qInfo().noquote() << "MainWindow::hinweis: " + text;
    ui->statusBar->showMessage(text, 5000);
}

void MainWindow::onVerlaufGewaehlt(int zeile)
{
    if (!_header || _verlauf.nummer(zeile) == 0)
        return;
    if (_header->inputGesperrt())
        hinweis(Header::sperrText());
    else
        _header->eingeben(_verlauf.nummer(zeile));
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

void MainWindow::onVerbindungsFehler(const QString &text)
{
    QString meldung = text;
    if (!_fehlerNachsatz.isEmpty()) {
        meldung += QLatin1Char('\n') + _fehlerNachsatz;
        _fehlerNachsatz.clear();
    }
    QMessageBox box(QMessageBox::NoIcon, tr("Fehler"), meldung, QMessageBox::Ok);
    box.exec();
}

void MainWindow::on_info_triggered()
{
    Info info(this, QLatin1String(version));
    info.setWindowTitle(tr("Info"));
    info.setModal(true);
    info.exec();
}

void MainWindow::onMaschinenZustand(int)
{
    zeigeMaschinenStatus();
}

void MainWindow::zeigeMaschinenStatus()
{
    static const char *const texte[] = {
        QT_TR_NOOP("Maschine: getrennt"),
        QT_TR_NOOP("Maschine: Verbindungsaufbau..."),
        QT_TR_NOOP("Maschine: verbunden"),
    };
    const int zustand = _maschine.zustand();
    QString text = tr(texte[zustand >= 0 && zustand <= 2 ? zustand : 0]);
    if (zustand == MaschineRm3::Getrennt && _portWaechter.wartet())
        text += tr(" – wartet auf '%1'").arg(_maschine.serialPort());
    else if (zustand == MaschineRm3::Verbindungsaufbau && _portWaechter.verbindetNeu())
        text = tr("Maschine: wird neu verbunden...");
    if (_einstellungOffen && _scheibenLayout) {
        if (zustand == MaschineRm3::Verbunden)
            text = tr("Maschine: wartet auf Quittung");
        else
            text += tr(" – Scheibe %1 wartet auf die Maschine").arg(_scheibenNummer);
    }
    if (_ignoriert > 0)
        text += tr(" – %1 Schuss nicht übernommen").arg(_ignoriert);
    _maschinenStatus->setText(text);
}

Druckseite::Inhalt MainWindow::druckInhalt() const
{
    Druckseite::Inhalt inhalt;
    inhalt.wettkampf = _statusText;
    inhalt.nummer = _scheibenNummer;
    inhalt.karte = _karteDaten;
    for (unsigned i = 0; i < _scheibenLayout->getScheibenzahl(); ++i) {
        inhalt.scheiben << _scheibenLayout->getScheibe(i);
        inhalt.vermerke << (i < maxSchuss ? _vermerk[i] : QString());
    }
    inhalt.ringe = _anzeigeStand.ringe;
    inhalt.zehntel = _anzeigeStand.zehntel;
    inhalt.serieRinge = _anzeigeStand.serieRinge;
    inhalt.serieZehntel = _anzeigeStand.serieZehntel;
    inhalt.gespeichert = !ungespeichert();
    inhalt.station = QSysInfo::machineHostName();
    inhalt.zeit = QDateTime::currentDateTime();
    return inhalt;
}

bool MainWindow::alsPdfSpeichern(const QString &datei)
{
    return _scheibenLayout && _scheibenId != 0 && Druckseite::alsPdf(datei, druckInhalt());
}

void MainWindow::onPdf()
{
    const QString datei = QFileDialog::getSaveFileName(this, tr("Als PDF speichern"),
                                                       QStringLiteral("Scheibe-%1.pdf").arg(_scheibenNummer),
                                                       tr("PDF-Dateien (*.pdf)"));
    if (!datei.isEmpty() && !alsPdfSpeichern(datei))
        onVerbindungsFehler(tr("Die Datei %1 konnte nicht geschrieben werden.").arg(datei));
}

void MainWindow::onDrucken()
{
    // The card may change while the print dialog is open; what is printed
    // is the card on screen when the officer confirms.
    const QString fehler = Druckseite::drucken(this, [this](Druckseite::Inhalt *inhalt) {
        if (!_scheibenLayout || _scheibenId == 0)
            return false;
        *inhalt = druckInhalt();
        return true;
    });
    if (!fehler.isEmpty())
        onVerbindungsFehler(fehler);
}
