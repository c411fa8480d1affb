#include "machine/maschine.h"

#include "machine/portliste.h"
#include "machine/schusszeile.h"

#include <QDebug>
#include <QLoggingCategory>

#include <cstring>

namespace {

// The machine's codes go out as the character "0" plus the value.
char ziffer(int v)
{
    return static_cast<char>((48 + v) & 0xff);
}

bool zeileIst(const char *line, quint32 length, const char *wort)
{
    const size_t n = std::strlen(wort);
    return length == n && std::memcmp(line, wort, n) == 0;
}

} // namespace

MaschineRm3::MaschineRm3()
{
    init();
}

MaschineRm3::MaschineRm3(const QString &port)
{
    init();
    _port = port;
}

MaschineRm3::~MaschineRm3()
{
    // Closing can still report an error; by then the timers are gone.
    QObject::disconnect(&_seriell, nullptr, this, nullptr);
    _seriell.close();
}

void MaschineRm3::init()
{
    _drucker = Drucker(2);
    _wertung = Wertung(5);
    _teilergrenze = Teilergrenze(13);

    _verbindungsTimer.setSingleShot(true);
    _schussTimer.setSingleShot(true);
    _kontrollstrTimer.setSingleShot(true);
    _verbindungsTimer.setInterval(VerbindungsTimeout);
    _schussTimer.setInterval(SchussTimeout);
    _kontrollstrTimer.setInterval(KontrollstrIntervall);

    std::memset(_zeile, 0, sizeof _zeile);
    _zustand = Getrennt;
    resetKarte();

    connect(&_verbindungsTimer, &Wecker::timeout, this, &MaschineRm3::onVerbindungsTimerExpired);
    connect(&_schussTimer, &Wecker::timeout, this, &MaschineRm3::onSchussTimerExpired);
    connect(&_kontrollstrTimer, &Wecker::timeout, this, &MaschineRm3::onKontrollstrTimerExpired);
    connect(&_seriell, &QSerialPort::readyRead, this, &MaschineRm3::onCharReceived);
    connect(&_seriell, &QSerialPort::errorOccurred, this, &MaschineRm3::onPortFehler);
}

void MaschineRm3::setSerialPort(const QString &name)
{
    _port = name;
}

void MaschineRm3::armiereKarte(quint32 anzahl)
{
    _schussTimer.stop();
    _zeilenLaenge = 0;
    _schussSoll = anzahl;
    _schusszahl = 0;
}

void MaschineRm3::setAusgabe(QIODevice *geraet)
{
    if (_ausgabe)
        QObject::disconnect(_ausgabe, nullptr, this, nullptr);
    _ausgabe = geraet;
    // Closed by the simulation: the device is still open while this runs.
    if (geraet)
        connect(geraet, &QIODevice::aboutToClose, this, [this] { onPortFehler(QSerialPort::ResourceError); });
}

void MaschineRm3::setTimerIntervalle(int verbindung, int schuss, int kontrollstr)
{
    _verbindungsTimer.setInterval(verbindung);
    _schussTimer.setInterval(schuss);
    _kontrollstrTimer.setInterval(kontrollstr);
}

// Everything that belongs to the card being read. The shot timer belongs to
// the card as well: left running, its expiry would report a time-out with
// count 0 and void shots that did arrive.
void MaschineRm3::resetKarte()
{
    _zweifelhaft = false;
    _kontrollstrAnzahl = 0;
    _zeilenLaenge = 0;
    _schussSoll = 0;
    _schusszahl = 0;
    _schussTimer.stop();
}

void MaschineRm3::setZustand(int zustand)
{
    if (_zustand == zustand)
        return;
    // The noise of a line going away belongs before the change in the log.
    _protokoll.abschliessen();
    _zustand = zustand;
    emit zustandGeaendert(zustand);
}

bool MaschineRm3::istBereit() const
{
    return offen() && _zustand == Verbunden && !_zweifelhaft && _kontrollstrAnzahl == 0;
}

// Called after every step that can make the link ready; reports the moment
// it becomes so, once.
void MaschineRm3::meldeBereitschaft()
{
    const bool war = _bereit;
    _bereit = istBereit();
    if (_bereit && !war)
        emit bereit();
}

void MaschineRm3::karteBeenden()
{
    _schussSoll = _schusszahl;
    _schussTimer.stop();
}

void MaschineRm3::verbinden()
{
    // A port chosen anew in the settings is taken at the next "Verbinden".
    // (QSerialPort::portName() drops "/dev/", so the name it was opened
    // under is kept: comparing with portName() reopened every port.)
    if (_ausgabe && !_ausgabe->isOpen())
        _ausgabe->open(QIODevice::ReadWrite);
    if (!_ausgabe && _seriell.isOpen() && _geoeffnet != _port) {
        resetKarte();
        _seriell.close();
    }
    if (!offen()) {
        _seriell.setPortName(_port);
        _seriell.setBaudRate(QSerialPort::Baud2400, QSerialPort::AllDirections);
        _seriell.setDataBits(QSerialPort::Data8);
        _seriell.setParity(QSerialPort::NoParity);
        _seriell.setStopBits(QSerialPort::OneStop);
        _seriell.setFlowControl(QSerialPort::HardwareControl);
        if (_seriell.open(QIODevice::ReadWrite)) {
            _geoeffnet = _port;
            // Fails on lines without modem control (and RTS always under
            // hardware flow control); the machine does not need them then.
            _seriell.setRequestToSend(true);
            _seriell.setDataTerminalReady(true);
        }
    }

    if (offen()) {
        resetKarte();
        setZustand(Verbindungsaufbau);
        static const char anfrage[] = { 'V', '\r' };
        qInfo().noquote() << "MaschineRm3::verbinden: " + QString::fromLatin1(anfrage, 1);
        leitung().write(anfrage, sizeof anfrage);
        if (offen())
            _verbindungsTimer.start();
        meldeBereitschaft();
    } else {
        resetKarte();
        setZustand(Getrennt);
        meldeBereitschaft();
        emit verbindungsFehler(
            QStringLiteral("Serieller Port '") + _port
            + QStringLiteral("' konnte nicht geöffnet werden! Bitte überprüfen Sie Ihre PORT Einstellung in "
                             "'config.json' und starten Sie das Programm neu!\n")
            + Portliste::grund(_seriell.error(), _port));
    }
}

void MaschineRm3::trennen()
{
    _verbindungsTimer.stop();
    if (!offen())
        return;
    resetKarte();
    setZustand(Getrennt);
    meldeBereitschaft();
    static const char ende[] = { 'E', 'X', 'I', 'T', '\r' };
    qInfo().noquote() << "MaschineRm3::trennen: " + QString::fromLatin1(ende, 4);
    leitung().write(ende, sizeof ende);
}

void MaschineRm3::clearToState(int state)
{
    resetKarte();
    setZustand(state);
    meldeBereitschaft();
}

void MaschineRm3::onVerbindungsTimerExpired()
{
    // Reset first: the message box runs a nested event loop, and an answer
    // arriving while it is open must not be undone afterwards.
    resetKarte();
    setZustand(Getrennt);
    meldeBereitschaft();
    emit verbindungsFehler(QStringLiteral("Verbingunsaufbau zur Auswertmaschine via '") + _port
                           + QStringLiteral("' fehlgeschlagen!"));
}

void MaschineRm3::onSchussTimerExpired()
{
    const quint32 anzahl = _schusszahl;
    resetKarte();
    emit schussTimeout(anzahl);
    meldeBereitschaft();
}

void MaschineRm3::onPortFehler(QSerialPort::SerialPortError fehler)
{
    qInfo().noquote()
        << QStringLiteral("MaschineRm3::onPortFehler: %1 %2").arg(fehler).arg(_seriell.errorString());
    if (fehler != QSerialPort::ResourceError && fehler != QSerialPort::ReadError)
        return;
    if (!offen())
        return;
    if (!_ausgabe)
        _seriell.close();
    _verbindungsTimer.stop();
    resetKarte();
    setZustand(Getrennt);
    meldeBereitschaft();
    emit portVerloren();
    emit verbindungsFehler(QStringLiteral("Verbindung zur Auswertmaschine via '") + _port
                           + QStringLiteral("' unterbrochen!"));
}

void MaschineRm3::onCharReceived()
{
    char puffer[64];
    while (_seriell.isOpen() && _seriell.bytesAvailable() > 0) {
        const qint64 n = _seriell.read(puffer, sizeof puffer);
        if (n <= 0)
            break;
        verarbeiteBytes(puffer, n);
    }
}

void MaschineRm3::verarbeiteBytes(const QByteArray &bytes)
{
    verarbeiteBytes(bytes.constData(), bytes.size());
}

void MaschineRm3::verarbeiteBytes(const char *daten, qint64 anzahl)
{
    for (qint64 i = 0; i < anzahl; ++i) {
        const char c = daten[i];
        if (c == '\r') {
            const quint32 laenge = _zeilenLaenge;
            _zeile[laenge] = '\0';
            // Cleared before the line is handled: a receiver of schuss may run
            // a nested event loop that already frames the next bytes.
            _zeilenLaenge = 0;
            onLineReceived(_zeile, laenge);
            meldeBereitschaft();
        } else if (_zeilenLaenge > 62) {
            // over-long line: keep its first 63 bytes
            _protokoll.verworfen();
        } else {
            _zeile[_zeilenLaenge++] = c;
        }
    }
}

void MaschineRm3::onLineReceived(char *line, quint32 length)
{
    const bool scheibe = zeileIst(line, length, "SCHEIBE");
    const bool ende = zeileIst(line, length, "ENDE");
    const bool schusszeile = Schusszeile::ist(line, length);
    if (_zustand == Verbindungsaufbau || scheibe || ende || schusszeile)
        _protokoll.zeile(line);
    else
        _protokoll.rauschen(line);

    if (_zustand == Verbindungsaufbau) {
        _verbindungsTimer.stop();
        setZustand(Verbunden);
        return;
    }
    if (_zustand <= Getrennt)
        return;

    if (scheibe || ende) {
        if (!_zweifelhaft)
            return;
        _kontrollstrAnzahl = scheibe ? 4 : 1;
        qInfo().noquote() << (scheibe ? "MaschineRm3::onLineReceived: <4CR>"
                                      : "MaschineRm3::onLineReceived: <1CR>");
        kontrollstrStart();
        return;
    }

    if (!schusszeile)
        return;
    if (_schusszahl >= _schussSoll) {
        emit schussIgnoriert(++_ignoriert);
        return;
    }
    if (_schusszahl + 1 < _schussSoll)
        _schussTimer.start();
    else
        _schussTimer.stop();

    const Schusszeile s = Schusszeile::lesen(line, length);
    // The machine waits for the acknowledgement of what it marked and of
    // a shot without rings; a field it wrote oddly is the officer's to
    // check, not the machine's.
    const bool quittieren = s.markiert || !s.valid;
    const quint32 nummer = _schusszahl++;
    emit schuss(nummer, s.valid, s.ringe, s.teiler, s.x, s.y, quittieren || s.ungewoehnlich);
    if (quittieren)
        _zweifelhaft = true;
}

void MaschineRm3::kontrollstrStart()
{
    leitung().write("\r", 1);
    _kontrollstrTimer.start();
    _zweifelhaft = false;
}

void MaschineRm3::onKontrollstrTimerExpired()
{
    const int n = _kontrollstrAnzahl;
    if (n == 0)
        return;
    _kontrollstrAnzahl = n - 1;
    if (n == 1) {
        meldeBereitschaft();
        return;
    }
    qInfo().noquote() << "MaschineRm3::onKontrollstrTimerExpired: <CR>";
    leitung().write("\r", 1);
    _kontrollstrTimer.start();
}

void MaschineRm3::setDefaults(Wertung wertung, Teilergrenze teilergrenze, Drucker drucker)
{
    _wertung = wertung;
    _teilergrenze = teilergrenze;
    _drucker = drucker;
}

bool MaschineRm3::setEinstellungen(Waffe waffe, Scheibe scheibe, Serie serie, Teilerfaktor teilerfaktor,
                                   quint32 anzahl, const QString &text)
{
    if (!offen())
        return false;
    if (_zustand < Verbunden || _zweifelhaft || _kontrollstrAnzahl != 0)
        return false;

    _schussTimer.stop();
    _zeilenLaenge = 0;

    static const quint32 _schussAnzahl[4] = { 0, 1, 5, 10 };
    const int s = scheibe;
    if (s > 3)
        _schussSoll = anzahl;
    else if (s >= 0)
        _schussSoll = anzahl * _schussAnzahl[s];
    else
        _schussSoll = 0; // no card kind the machine knows; read no shots rather than index out of the table
    _schusszahl = 0;
    _ignoriert = 0;

    const int t = _teilergrenze;
    char zeile[21];
    zeile[0] = ziffer(waffe);
    zeile[1] = ziffer(scheibe);
    zeile[2] = ziffer(serie);
    zeile[3] = ziffer(_wertung);
    zeile[4] = ziffer((t / 10) % 10);
    zeile[5] = ziffer(t % 10);
    zeile[6] = ziffer(teilerfaktor);
    zeile[7] = ziffer(_drucker);
    zeile[8] = anzahl <= 9 ? ziffer(static_cast<int>(anzahl)) : static_cast<char>(65 + (anzahl / 10) % 10);
    const int k = qMin(static_cast<int>(text.size()), 10);
    for (int i = 0; i < k; ++i) {
        const ushort code = text.at(i).unicode();
        zeile[9 + i] = code < 256 ? static_cast<char>(code) : '\0';
    }
    zeile[9 + k] = '\r';
    zeile[10 + k] = '\0';

    qInfo().noquote() << "MaschineRm3::setEinstellungen: "
            + QString::fromLatin1(zeile, static_cast<qsizetype>(qstrnlen(zeile, 9 + k)));
    leitung().write(zeile, 10 + k);
    return true;
}
