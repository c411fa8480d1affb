#pragma once

#include "machine/uhr.h"
#include "machine/zeilenprotokoll.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

// Link to the RM3 evaluation machine over a serial line.
//
// The machine speaks CR-terminated ASCII lines. After "V" CR it answers with
// any line; from then on it reports one shot line per shot it finds on a card
// ("F0;rings;teiler;x;y;marker"), and after a doubtful shot it wants to be
// acknowledged with carriage returns when it sends "SCHEIBE" (four) or "ENDE"
// (one). Before each card the client sends one settings line that also fixes
// how many shot lines are accepted for that card.
class MaschineRm3 : public QObject
{
    Q_OBJECT

public:
    // The machine's numeric codes; each is sent as one digit (Teilergrenze as
    // two). Types without named values pass the machine's codes through, e.g.
    // MaschineRm3::Wertung(5).
    enum Waffe : int { Luftgewehr = 1, Luftpistole = 2 };
    enum Scheibe : int { Einzel = 1, Fuenfer = 2, Zehner = 3 };
    enum Serie : int { SerieAus = 0, SerieEin = 1 };
    enum Teilerfaktor : int {};
    enum Wertung : int {};
    enum Teilergrenze : int {};
    enum Drucker : int {};

    // Values of the link state (zustand()).
    enum Zustand : int { Getrennt = 0, Verbindungsaufbau = 1, Verbunden = 2 };

    // Real intervals of the three single-shot timers, in ms.
    static constexpr int VerbindungsTimeout = 20000; // machine must answer "V" CR within this
    static constexpr int SchussTimeout = 10000; // longest gap between two shots of one card
    static constexpr int KontrollstrIntervall = 250; // gap between two acknowledgement CRs

    MaschineRm3();
    explicit MaschineRm3(const QString &port);
    ~MaschineRm3() override;

    void setSerialPort(const QString &name);
    QString serialPort() const { return _port; }
    void verbinden();
    void trennen();
    void clearToState(int state);

    void setDefaults(Wertung wertung, Teilergrenze teilergrenze, Drucker drucker);
    // Sends the settings line for the next card; false when it was refused
    // (port closed, not connected, doubtful shot not yet acknowledged).
    bool setEinstellungen(Waffe waffe, Scheibe scheibe, Serie serie, Teilerfaktor teilerfaktor,
                          quint32 anzahl, const QString &text);

    // Reports one random shot through schuss, scored like a real one, so
    // everything behind the link can run without a machine. The sequence is
    // the same in every run. Defined beside the scoring it borrows, in
    // targets/zufallsschuss.cpp.
    void emitZufallsSchuss(quint32 nummer, Waffe waffe);

    // Ends the shot count of the current card: the machine goes on reading a
    // card the officer has cancelled, and those shots must not become the
    // next card's. Acknowledgements still due go out.
    void karteBeenden();
    // Connected, and no acknowledgement of a doubtful shot still due: a
    // settings line would be taken now.
    bool istBereit() const;

    // Feeds received bytes through the framing and line handling. This is the
    // path every byte read from the port takes; tests and fuzzers use it to
    // drive the protocol without a port.
    void verarbeiteBytes(const QByteArray &bytes);

    int zustand() const { return _zustand; }
    quint32 schussSoll() const { return _schussSoll; }
    quint32 schusszahl() const { return _schusszahl; }

    // Test seam: shortens the timer intervals (ms). The real values above are
    // the defaults.
    void setTimerIntervalle(int verbindung, int schuss, int kontrollstr);
    int verbindungsTimerIntervall() const { return _verbindungsTimer.interval(); }
    int schussTimerIntervall() const { return _schussTimer.interval(); }
    int kontrollstrTimerIntervall() const { return _kontrollstrTimer.interval(); }
    // Test seam for driving the protocol without a port: expects `anzahl`
    // shots as a settings line would, and shows the framing's fill level.
    void armiereKarte(quint32 anzahl);
    quint32 zeilenLaenge() const { return _zeilenLaenge; }
    // Test seam: the serial port, to read back whether it is open and how it
    // was set up.
    const QSerialPort &seriell() const { return _seriell; }
    // Test seam for a simulation without a port: the link writes to `geraet`
    // and takes its open state for the port's; closing it counts as the port
    // lost, and verbinden() opens it again. Null goes back to the port.
    void setAusgabe(QIODevice *geraet);

signals:
    void verbindungsFehler(const QString &text);
    void schuss(quint32 nummer, bool valid, double ringe, double teiler, double x, double y,
                bool zweifelhaft);
    void schussTimeout(quint32 schusszahl);
    // Every change of the link state: 0 getrennt, 1 Verbindungsaufbau, 2 verbunden.
    void zustandGeaendert(int zustand);
    // The link has just become ready for a settings line (istBereit()).
    void bereit();
    // A well-formed shot line arrived for which no card expects a shot;
    // `anzahl` counts them since the last settings line.
    void schussIgnoriert(quint32 anzahl);
    // The port went away while open (an unplugged adapter); the link is reset
    // by then, and verbindungsFehler follows.
    void portVerloren();

public slots:
    void onCharReceived();
    void onVerbindungsTimerExpired();
    void onSchussTimerExpired();
    void onKontrollstrTimerExpired();

private slots:
    // A vanished USB adapter or a hung-up line reports errors endlessly; the
    // port is closed so the next verbinden opens it afresh.
    void onPortFehler(QSerialPort::SerialPortError fehler);

private:
    void init();
    void verarbeiteBytes(const char *daten, qint64 anzahl);
    void onLineReceived(char *line, quint32 length);
    void kontrollstrStart();
    void resetKarte();
    void setZustand(int zustand);
    void meldeBereitschaft();
    bool offen() const { return _ausgabe ? _ausgabe->isOpen() : _seriell.isOpen(); }
    QIODevice &leitung() { return _ausgabe ? *_ausgabe : static_cast<QIODevice &>(_seriell); }

    QString _port;
    QString _geoeffnet; // the name the open port was opened under
    QSerialPort _seriell;
    QIODevice *_ausgabe = nullptr; // instead of _seriell, see setAusgabe
    Wecker _verbindungsTimer;
    Wecker _schussTimer;
    Wecker _kontrollstrTimer;
    Wertung _wertung;
    Teilergrenze _teilergrenze;
    Drucker _drucker;
    char _zeile[64]; // at most 63 data bytes and a terminating zero
    quint32 _zeilenLaenge;
    int _zustand;
    quint32 _schussSoll; // shots expected for the current card
    quint32 _schusszahl; // shots accepted so far; nummer of the next shot
    bool _zweifelhaft; // doubtful shot reported, machine not yet acknowledged
    int _kontrollstrAnzahl; // acknowledgement CRs not yet counted down
    bool _bereit = false; // istBereit() when last reported
    quint32 _ignoriert = 0; // shot lines no card expected, since the last settings line
    Zeilenprotokoll _protokoll;
};
