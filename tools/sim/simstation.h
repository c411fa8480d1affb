#pragma once

#include "app/kartenfluss.h"
#include "machine/maschine.h"
#include "machine/schussbuffer.h"
#include "simserver.h"
#include "simuhr.h"

#include <QBuffer>
#include <QList>
#include <QMap>
#include <QObject>
#include <QStringList>

// One whole station on a clock of its own: the real machine link fed through
// its byte path, the real shot buffer and the card flow, wired as the window
// wires them, with the window's part played here (the grid, the questions,
// the "Fehler" boxes), the server kept in memory and the machine's side
// modelled down to the paper card in its reader. Nothing moves unless an
// event says so, so a run is a function of its events.
//
// Every event is a call that writes itself into protocol() as a line of
// C++, so the events of a run paste into a regression test as they stand:
//
//   SimStation st;
//   st.entry(1001); st.process(1); st.deliver(1); st.shot(SimStation::Clean);
class SimStation : public QObject, public Kartenfluss::Anschluss
{
    Q_OBJECT

public:
    enum ShotKind { Clean, Doubtful, Invalid };
    enum HandKind { Unlock, Place, Void };

    // The paper card a shot line was read from.
    struct Herkunft
    {
        quint32 karte = 0; // its number
        quint32 position = 0;
        // Read after this card had left the screen (cancelled, saved,
        // discarded), or shown on it before it left.
        bool streuner = false;
    };
    // What a target of the card on screen holds, and where it came from.
    struct Ziel
    {
        enum Quelle { Leer, Gespeichert, Maschine, Hand, Fehlt };
        Quelle quelle = Leer;
        Herkunft herkunft; // Maschine: the shot line
        bool wiederholt = false; // Maschine: put there by the replay of the shot buffer
        // Replayed: a card on screen showed the shot when it came, outside a
        // hold (shots read while the reply to an entry is awaited are the
        // fetched card's, and replayed onto it).
        bool gezeigt = false;
        bool gehalten = false; // came while the reply to a newer entry was awaited
        bool entsperrt = false;
    };
    // One event, for a schedule generator or an exploration to choose from.
    struct Ereignis
    {
        enum Art {
            Entry,
            Scan,
            Save,
            Cancel,
            Answer,
            Hand,
            Logoff,
            Discard,
            Login, // the officer
            Insert,
            Shot,
            Line,
            Broken,
            Pause,
            Silence,
            Replug,
            Hello, // the machine and its line
            Process,
            Deliver,
            Timeout, // the server
        };
        Art art;
        quint32 a = 0;
        int b = 0;
    };

    // Logged in and connected, no card yet. The cards on the server: see
    // the constructor.
    SimStation();
    ~SimStation() override;

    // --- the officer; each acts only on what the window has enabled ---
    // Types the number and Return while the input is free; `behalten`: the
    // card on screen stays in the reader, the machine still reads it.
    void entry(quint32 nummer, bool behalten = false);
    void scan(quint32 nummer); // the scanner types a number while the input is locked
    void save();
    void cancel();
    void answer(bool ja); // to "Neu auswerten?"
    void hand(quint32 ziel, HandKind kind); // placing or voiding unlocks first
    void logoff(); // asks first with unsaved hits on screen
    void discard(bool ja); // the answer to "Nicht gespeicherte Treffer verwerfen?"
    void login();
    // --- the machine ---
    void insert(); // the card of the latest entry goes into the reader
    void shot(ShotKind kind); // the next shot line of the card in the reader
    void line(const char *zeile); // "SCHEIBE", "ENDE"
    void broken(); // a line breaks off; its rest runs into the next one
    void pause(); // one acknowledgement interval passes
    void silence(); // silence past the shot gap
    void replug(); // the port is lost and set up again; the machine answers with hello()
    void hello();
    // --- the server ---
    void process(quint32 auftrag, int status = 0); // 0 answers, 401/404/500 refuse
    void deliver(quint32 auftrag);
    void timeout(quint32 auftrag); // the station gives up on the request

    // KOVRIT_SIM_STRICT=1 lets the world do what a station cannot be
    // guarded against yet: the officer scanning the next card while the
    // machine still reads one that shows no hits, and saving the shots that
    // arrive meanwhile on the card on screen.
    static bool streng();

    Kartenfluss &fluss() { return _fluss; }
    const Kartenfluss &fluss() const { return _fluss; }
    const SimServer &server() const { return _server; }
    const MaschineRm3 &maschine() const { return _maschine; }
    const QStringList &protokoll() const { return _protokoll; }
    const QStringList &fehlerboxen() const { return _fehler; }
    const Ziel &ziel(quint32 i) const { return _ziele[i]; }
    quint32 eingabe() const { return _eingabe; } // the latest number entered
    quint32 eingabeAuftrag() const { return _eingabeAuftrag; } // its fetch
    // The request whose reply or answered question is being handled now, 0 otherwise.
    quint32 zustellung() const { return _zustellung; }
    bool jaGesagt(quint32 auftrag) const { return _ja.contains(auftrag); }
    bool verwerfenOffen() const { return _verwerfen; }
    bool tastenLeck() const { return _leck; } // a scanned key got through while locked
    quint32 leser() const { return _leser; } // the card in the reader, 0 for none

    // --- Kartenfluss::Anschluss ---
    quint32 abrufen(quint32 nummer) override;
    quint32 uebermitteln(quint32 scheibenId, const ServiceProvider::Treffer *treffer, quint32 zahl) override;
    bool einstellen(const Kartenfluss::Einstellung &einstellung) override;
    void karteBeenden() override;
    void schuesseVergessen() override;
    void wiederholen() override;

signals:
    // A submission went out: by "Speichern", or by the flow on its own.
    void uebermittelt(quint32 auftrag, bool automatisch);
    // An event has run to its end.
    void schritt();

private:
    friend class SimWahl;
    void beginne(const QString &zeile);
    void ende();
    void eingeben(quint32 nummer, bool behalten); // the entry itself, without its event line
    void notiere(const QString &text);
    bool frei() const; // the officer can act on the window
    void speise(const QByteArray &zeile);
    void fehlschlag(const SimServer::Anfrage &anfrage, int status);
    void ziel(quint32 i, Ziel::Quelle quelle);
    // The card on screen leaves it: what the machine still reads of it, and
    // what it showed, are strays from now on.
    void verlassen();

    // Before everything whose timers it drives.
    SimUhr _uhr;
    QBuffer _leitung; // what the link sends to the machine
    MaschineRm3 _maschine;
    SchussBuffer _puffer;
    SimServer _server;
    Kartenfluss _fluss;

    // The window's part.
    Ziel _ziele[Kartenfluss::MaxSchuss];
    QStringList _fehler;
    QStringList _protokoll;
    QString _zeile;
    bool _verwerfen = false;
    bool _leck = false;
    quint32 _faellig = 0; // the card number queued by the flow, entered after this step
    bool _speichernGedrueckt = false;
    bool _nachzureichen = false; // "Speichern" whose submission the flow holds back
    quint32 _eingabe = 0;
    quint32 _eingabeAuftrag = 0;
    quint32 _zustellung = 0;
    QList<quint32> _ja;
    ServiceProvider::Scheibe _antwort; // the record being delivered
    ServiceProvider::Scheibe _frage; // the record the open question is about

    // The shot lines behind the entries of the shot buffer.
    struct Eintrag
    {
        Herkunft herkunft;
        bool gezeigt = false; // outside a hold
        bool gesehen = false; // on any card
    };
    QList<Eintrag> _eintraege;
    Herkunft _zeilenHerkunft; // of the shot line being read
    qsizetype _wiederholt = -1; // the replay's next entry, -1 outside a replay
    qsizetype _laufend = -1; // the entry being handed to the flow, -1 for none

    // The machine's side: which paper card it reads, how far each is read.
    quint32 _leser = 0;
    bool _leserAbgebrochen = false; // the card in the reader left the screen
    QMap<quint32, quint32> _gelesen;
    qint64 _letzterSchuss = 0; // when the link took its latest shot line
    qint64 _quittungSeit = -1000000; // when its latest acknowledgement began
    bool _zweifelhaft = false; // the link owes the machine an acknowledgement
    qint64 _verbindenSeit = 0;
    qint64 _geschrieben = 0; // bytes of _leitung already looked at
};
