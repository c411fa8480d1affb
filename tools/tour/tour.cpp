#include "tour.h"

#include "app/mainwindow.h"
#include "app/schuetzenanzeige.h"
#include "targets/lxscheibe.h"
#include "targets/scheibenlayout.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTest>

namespace {

// Positions in ring widths: a steady air-rifle series, and an air-pistol
// series whose seventh shot the machine could not read cleanly.
const double lgLage[10][2] = { { 0.1, -0.2 },  { -0.4, 0.3 }, { 0.6, 0.1 },  { -0.2, -0.7 }, { 0.3, 0.5 },
                               { -0.9, -0.1 }, { 0.2, 0.0 },  { 0.8, -0.6 }, { -0.3, 0.9 },  { 0.05, 0.15 } };
const double lpLage[10][2] = { { 0.5, -0.8 }, { -1.2, 0.4 }, { 0.9, 1.1 }, { -0.3, -1.5 }, { 1.6, 0.2 },
                               { -0.7, 0.6 }, { 2.4, -2.1 }, { 0.2, 0.9 }, { -1.8, -0.9 }, { 0.4, 0.1 } };
const int zweifelhafterSchuss = 6;

template<typename T> T *finde(QWidget *w, const char *name = nullptr)
{
    return name ? w->findChild<T *>(QLatin1String(name)) : w->findChild<T *>();
}

} // namespace

Tour::Tour(const QString &bilderOrdner, QSize groesse, QObject *parent)
    : QObject(parent)
    , _ordner(bilderOrdner)
    , _groesse(groesse)
{
    connect(&_sim, &Rm3Simulator::settingsReceived, this, &Tour::onSettings);
    connect(&_boxTimer, &QTimer::timeout, this, &Tour::onBoxTimer);
}

Tour::~Tour()
{
    _window.reset();
}

bool Tour::run()
{
    return start() && anmelden() && luftgewehr() && luftpistole() && einstellungen();
}

bool Tour::einstellungen()
{
    // The IT volunteer's dialog, pictured and closed without saving.
    _boxBild = QStringLiteral("einstellungen.png");
    finde<QAction>(_window.get(), "einstellungen")->trigger();
    return warte([&] { return _boxBild.isEmpty(); }, QStringLiteral("Einstellungen"));
}

bool Tour::start()
{
    if (!_ordner.mkpath(QStringLiteral(".")) || !_arbeit.isValid()) {
        _fehler = QStringLiteral("Ordner %1 nicht angelegt").arg(_ordner.path());
        return false;
    }
    if (!_server.open(_arbeit.filePath(QStringLiteral("server.sqlite"))) || !_server.seedDemo()
        || _server.listen() == 0 || !_sim.openPty()) {
        _fehler = QStringLiteral("Stand-ins: ") + _server.errorString();
        return false;
    }
    // Slow enough that the target screen can be caught mid-card.
    _sim.setInterval(300);
    QFile config(_arbeit.filePath(QStringLiteral("config.json")));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    config.write(QJsonDocument(QJsonObject { { "url", _server.baseUrl() },
                                             { "jwt", _server.stationToken() },
                                             { "port", _sim.slavePath() } })
                     .toJson());
    config.close();

    _window = std::make_unique<MainWindow>(nullptr, config.fileName());
    _window->resize(_groesse);
    _window->show();
    _boxTimer.start(50);
    return QTest::qWaitForWindowExposed(_window.get());
}

bool Tour::anmelden()
{
    auto *wahl = finde<QComboBox>(_window.get(), "wettkampfSelect");
    if (!warte([&] { return wahl->count() > 2; }, QStringLiteral("Wettkampfliste")))
        return false;
    wahl->setCurrentIndex(1);
    QTest::keyClicks(finde<QLineEdit>(_window.get(), "userEdit"), QLatin1String(KovritServer::DemoUser));
    QTest::keyClicks(finde<QLineEdit>(_window.get(), "passwordEdit"),
                     QLatin1String(KovritServer::DemoPassword));
    if (!bild(QStringLiteral("anmeldung.png")))
        return false;
    QTest::mouseClick(finde<QPushButton>(_window.get(), "loginButton"), Qt::LeftButton);
    if (!warte([&] { return finde<ScheibenLayout>(_window.get()); }, QStringLiteral("Anmeldung")))
        return false;

    finde<QAction>(_window.get(), "connect")->trigger();
    auto *status = finde<QLabel>(_window.get(), "maschinenStatus");
    return warte([&] { return status->text() == QStringLiteral("Maschine: verbunden"); },
                 QStringLiteral("Maschine verbinden"));
}

bool Tour::luftgewehr()
{
    if (!karte(1001, 10))
        return false;
    auto *grid = finde<ScheibenLayout>(_window.get());
    if (!warte([&] { return grid->getScheibe(4)->valid(); }, QStringLiteral("fünf Schuss"))
        || !bild(QStringLiteral("scheibe-laufend.png")))
        return false;
    // The last clean shot submits the card; the server's confirmation hands
    // the card number field back for the next card.
    const quint32 id = _server.cardId(1001);
    auto *eingabe = finde<QLineEdit>(_window.get(), "scheibe");
    return warte([&] { return _server.submissionCount(id) == 1 && eingabe->isEnabled(); },
                 QStringLiteral("automatisch speichern"))
        && bild(QStringLiteral("scheibe-fertig.png"));
}

bool Tour::luftpistole()
{
    if (!karte(1004, 10))
        return false;
    auto *grid = finde<ScheibenLayout>(_window.get());
    if (!warte([&] { return grid->getScheibe(9)->valid() && !_sim.cardRunning(); },
               QStringLiteral("Luftpistole geschossen")))
        return false;

    // The officer looks at the card, unlocks the doubtful target with a
    // double click and clicks where the hole really is.
    LxScheibe *ziel = grid->getScheibe(zweifelhafterSchuss);
    QTest::mouseDClick(ziel, Qt::LeftButton, {}, ziel->rect().center());
    const QPoint loch(ziel->mitteX() + int(1.1 * ziel->pixelProRing()),
                      ziel->mitteY() - int(0.8 * ziel->pixelProRing()));
    QTest::mouseClick(ziel, Qt::LeftButton, {}, loch);
    if (!bild(QStringLiteral("korrektur.png")))
        return false;

    // What the shooter sees on the second screen, and the card on paper.
    finde<QAction>(_window.get(), "schuetzenanzeige")->trigger();
    Schuetzenanzeige *anzeige = _window->schuetzenanzeige();
    anzeige->resize(1024, 640);
    if (!bild(QStringLiteral("schuetzenanzeige.png"), anzeige->grab()))
        return false;
    anzeige->close();
    if (!_window->alsPdfSpeichern(_ordner.filePath(QStringLiteral("karte.pdf")))) {
        _fehler = QStringLiteral("karte.pdf nicht geschrieben");
        return false;
    }

    // The server refuses the first try; the officer reads the box and
    // presses "Speichern" again.
    const quint32 id = _server.cardId(1004);
    auto *speichern = finde<QPushButton>(grid, "speichernButton");
    _server.failNextRequests(1, 503);
    _boxBild = QStringLiteral("fehler.png");
    QTest::mouseClick(speichern, Qt::LeftButton);
    if (!warte([&] { return _boxBild.isEmpty() && speichern->isEnabled(); }, QStringLiteral("Fehler")))
        return false;
    QTest::mouseClick(speichern, Qt::LeftButton);
    auto *meldung = finde<QLabel>(_window.get(), "meldung");
    if (!warte(
            [&] {
                return _server.submissionCount(id) == 1
                    && meldung->text().startsWith(QLatin1String("Scheibe 1004 gespeichert"));
            },
            QStringLiteral("speichern"))
        || !bild(QStringLiteral("gespeichert.png")))
        return false;

    // The card just saved, entered again by mistake: the officer is asked.
    _boxBild = QStringLiteral("neu-auswerten.png");
    auto *eingabe = finde<QLineEdit>(_window.get(), "scheibe");
    QTest::keyClick(eingabe, Qt::Key_Return);
    return warte([&] { return _boxBild.isEmpty(); }, QStringLiteral("Frage"));
}

bool Tour::karte(quint32 nummer, unsigned schuss)
{
    auto *eingabe = finde<QLineEdit>(_window.get(), "scheibe");
    eingabe->selectAll();
    QTest::keyClicks(eingabe, QString::number(nummer));
    QTest::keyClick(eingabe, Qt::Key_Return);
    auto *grid = finde<ScheibenLayout>(_window.get());
    return warte([&] { return grid->getScheibenzahl() == schuss && _sim.cardRunning(); },
                 QStringLiteral("Karte %1").arg(nummer));
}

bool Tour::warte(const std::function<bool()> &bedingung, const QString &schritt, int ms)
{
    if (QTest::qWaitFor(bedingung, ms))
        return true;
    _fehler = QStringLiteral("Schritt \"%1\" kam nicht zustande").arg(schritt);
    return false;
}

bool Tour::bild(const QString &name, const QPixmap &pixmap)
{
    const QString datei = _ordner.filePath(name);
    if (!pixmap.save(datei, "PNG")) {
        _fehler = QStringLiteral("Bild %1 nicht geschrieben").arg(datei);
        return false;
    }
    _bilder << datei;
    return true;
}

QPixmap Tour::fensterBild() const
{
    return _window->grab();
}

// The machine asks for a card after each settings line; it gets the series
// that fits the weapon.
void Tour::onSettings(const Rm3Simulator::Settings &settings)
{
    const bool lp = settings.weapon == 2;
    QList<Rm3Simulator::Shot> shots;
    for (int i = 0; i < settings.shots && i < 10; ++i) {
        const double *lage = lp ? lpLage[i] : lgLage[i];
        shots << Rm3Simulator::scoredShot(lage[0], lage[1], settings.weapon, lp && i == zweifelhafterSchuss);
    }
    _sim.queueShots(shots);
}

// A message box runs its own event loop; this timer keeps running inside
// it, pictures the box over the window and closes it as the officer would.
void Tour::onBoxTimer()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *w : widgets) {
        auto *dialog = qobject_cast<QDialog *>(w);
        if (dialog && dialog->isVisible() && dialog->objectName() == QLatin1String("Einstellungen")) {
            QPixmap aufnahme = fensterBild();
            QPainter p(&aufnahme);
            p.fillRect(aufnahme.rect(), QColor(0, 0, 0, 70));
            const QPixmap inhalt = dialog->grab();
            p.drawPixmap((aufnahme.width() - inhalt.width()) / 2, (aufnahme.height() - inhalt.height()) / 2,
                         inhalt);
            p.end();
            bild(std::exchange(_boxBild, QString()), aufnahme);
            dialog->reject();
            continue;
        }
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box || !box->isVisible())
            continue;
        if (!_boxBild.isEmpty()) {
            // Without a window manager there is no title bar, so the box's
            // title is drawn above it as a desktop would show it.
            QPixmap aufnahme = fensterBild();
            const QPixmap inhalt = box->grab();
            const int titel = 30;
            const QRect rahmen(QPoint((aufnahme.width() - inhalt.width()) / 2,
                                      (aufnahme.height() - inhalt.height() - titel) / 2),
                               QSize(inhalt.width(), inhalt.height() + titel));
            QPainter p(&aufnahme);
            p.fillRect(aufnahme.rect(), QColor(0, 0, 0, 70));
            p.fillRect(rahmen.adjusted(-1, -1, 1, 1), QColor(90, 90, 90));
            p.fillRect(rahmen.x(), rahmen.y(), rahmen.width(), titel, QColor(225, 225, 225));
            p.setPen(Qt::black);
            p.drawText(QRect(rahmen.x(), rahmen.y(), rahmen.width(), titel), Qt::AlignCenter,
                       box->windowTitle());
            p.drawPixmap(rahmen.x(), rahmen.y() + titel, inhalt);
            p.end();
            bild(std::exchange(_boxBild, QString()), aufnahme);
        }
        // A question is answered with its default, "Nein".
        QAbstractButton *knopf = box->button(QMessageBox::Ok);
        (knopf ? knopf : box->defaultButton())->click();
    }
}
