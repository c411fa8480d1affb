#pragma once

#include "app/karte.h"
#include "app/uebermittlungen.h"
#include "app/verlauf.h"
#include "machine/maschine.h"
#include "server/serviceprovider.h"

#include <QList>
#include <QObject>
#include <QString>

// The card on screen and everything that happens to it: the number entered,
// the server's replies, the machine's shots, the officer's corrections,
// saving and cancelling. A plain state machine without widgets: every input
// is a call that carries all it needs (replies name the request they answer),
// every output a signal emitted once the state is consistent again, or a
// value the window reads to render. The window forwards and renders; it
// never decides.
class Kartenfluss : public QObject
{
    Q_OBJECT

public:
    // What the clean last shot of the card on screen does.
    enum class AutoSpeichern {
        Aus, // the card is not clean, or already confirmed: the officer saves
        Scharf, // the clean last shot submits the card
        Gehalten, // clean, but a card number was entered and its reply is
                  // awaited: the shots arriving now are likely the next card's
        Faellig, // held, and the clean last shot came: offered to the officer
                 // once the hold ends without a new card
    };
    // The card number input, as the header shows it.
    enum class Eingabe {
        Gewaehlt, // free, focused, the number selected for the next scan
        Geleert, // free, focused, empty (after a cancel)
        Gesperrt, // hits on screen wait for "Speichern" or "Abbrechen"
    };
    // What a key typed anywhere in the window is.
    enum class Taste { Ziffer, Eingabe, Escape, Andere };
    enum class TastenAntwort {
        Weiter, // the key goes where it was going
        Verschlucken,
        Hinweis, // swallowed, and the officer is told why (once per scan)
        ZurNummer, // a digit that belongs to the card number input
        Abbrechen, // Escape: the officer cancels the card (asked first if hits would be lost)
        NichtMehrWarten, // Escape while the card is being saved: its submission is given up
    };
    // What the officer did to a target by hand.
    enum class Hand { Entsperrt, Gesetzt, Entwertet };

    using Einstellung = Karte::Einstellung;

    // The flow's only calls outward: the window binds them to the server
    // client, the machine link and the shot buffer, a simulation to its own.
    struct Anschluss
    {
        virtual ~Anschluss() = default;
        // The request number of the fetch, 0 if none went out.
        virtual quint32 abrufen(quint32 nummer) = 0;
        // The request number of the submission, 0 if none went out.
        virtual quint32 uebermitteln(quint32 scheibenId, const ServiceProvider::Treffer *treffer,
                                     quint32 zahl)
            = 0;
        // False when the link cannot take a settings line now.
        virtual bool einstellen(const Einstellung &einstellung) = 0;
        // The rest of the card's shot lines are not taken.
        virtual void karteBeenden() = 0;
        // The shots recorded so far belong to a card that is done with them
        // (saved, cancelled, discarded): they are never replayed.
        virtual void schuesseVergessen() = 0;
        // The shot buffer presents its recorded shots again, through schuss().
        virtual void wiederholen() = 0;
    };

    using Summen = Karte::Summen;
    static constexpr quint32 MaxSchuss = Karte::MaxSchuss;

    explicit Kartenfluss(Anschluss &anschluss, QObject *parent = nullptr);

    // --- inputs ---
    // The target screen was built after a login: no card yet.
    void angemeldet();
    // Back to the login screen: late replies and shots have nowhere to go.
    void abgemeldet();
    // The officer entered a card number and its fetch went out as `auftrag`.
    void nummerEingegeben(quint32 nummer, quint32 auftrag);
    void scheibeErhalten(quint32 auftrag, const ServiceProvider::Scheibe &scheibe);
    void abrufFehlgeschlagen(quint32 auftrag);
    // The officer's answer to the question frageNeuAuswerten(auftrag, ...).
    void neuAuswertenBeantwortet(quint32 auftrag, bool ja);
    void uebermittlungOk(quint32 auftrag);
    void uebermittlungFehlgeschlagen(quint32 auftrag);
    void schuss(quint32 nummer, bool valid, double ringe, double teiler, double x, double y,
                bool zweifelhaft);
    void schussTimeout(quint32 schusszahl);
    // `anzahl` shot lines were not taken by the link since its last settings line.
    void schussIgnoriert(quint32 anzahl);
    // The link can take a settings line now.
    void maschineBereit();
    // The link's state (MaschineRm3::Zustand): any state but "verbunden"
    // means it dropped or starts afresh, and counts no card.
    void maschinenZustand(int zustand);
    // Target i was unlocked, or its shot placed (`treffer`) or voided by hand.
    void vonHand(quint32 i, Hand hand, const ServiceProvider::Treffer &treffer = {});
    void speichern();
    void abbrechen();
    // A key typed anywhere in the window; `zeichen` is the digit of a Ziffer.
    TastenAntwort taste(Taste taste, QChar zeichen = QChar());

    // --- values the window reads ---
    bool aktiv() const { return _aktiv; }
    AutoSpeichern autoSpeichern() const { return _autoSpeichern; }
    Eingabe eingabe() const { return _eingabe; }
    bool eingabeGesperrt() const { return _eingabe == Eingabe::Gesperrt; }
    bool speichernAn() const { return _speichernAn; }
    bool abbrechenAn() const { return _abbrechenAn; }
    // Hits on screen that the server does not hold.
    bool ungespeichert() const { return _aktiv && _k.ungespeichert(); }
    bool hatKarte() const { return _aktiv && _k.scheibenId != 0; }
    quint32 scheibenId() const { return _k.scheibenId; }
    quint32 nummer() const { return _k.nummer; } // as entered
    quint32 schussProScheibe() const { return _k.schussProScheibe; }
    double teilerFaktor() const { return _k.teilerFaktor; }
    const ServiceProvider::Scheibe &karte() const { return _k.daten; }
    const ServiceProvider::Treffer &treffer(quint32 i) const { return _k.treffer[i]; }
    const ServiceProvider::Treffer &gespeichert(quint32 i) const { return _k.gespeichert[i]; }
    // What became of shot i, in words, for the printout.
    QString vermerk(quint32 i) const { return i < MaxSchuss ? _k.vermerk[i] : QString(); }
    Summen summen() const { return _k.summen(); }
    int letzter() const { return _letzter; } // target of the latest shot, -1 for none
    bool gespeichertGemeldet() const { return _gespeichertGemeldet; }
    QString meldung() const { return _meldung; }
    // The request whose question is open, 0 for none.
    quint32 offeneFrage() const { return _frage.auftrag; }
    // The request of the latest entry while its reply is awaited, 0 otherwise.
    quint32 abruf() const { return _abruf; }
    // A card is being fetched, or its question is open: the card below is
    // still the one before.
    bool laedt() const { return _abruf != 0 || _frage.auftrag != 0; }
    // The card number scanned while the card on screen was read, 0 for none.
    quint32 naechste() const { return _naechste; }
    // The submission of the card on screen that is awaited, 0 for none.
    quint32 wartetAuf() const
    {
        return hatKarte() && _uebermittlungen.unterwegsZu(_k.scheibenId)
            ? _uebermittlungen.letzte(_k.scheibenId)
            : 0;
    }
    bool einstellungOffen() const { return _einstellungOffen; }
    quint32 ignoriert() const { return _ignoriert; }
    // The machine's line in the status bar for the link's state.
    QString maschinenText(int zustand, bool wartet, bool verbindetNeu, const QString &port) const;
    // A second line for the error box about to open, once.
    QString nimmNachsatz();
    Verlauf &verlauf() { return _verlauf; }
    const Verlauf &verlauf() const { return _verlauf; }
    // The card's position in the Verlauf; a new one with every card and cancel.
    quint64 karteNr() const { return _karte; }

signals:
    // A fetched card was taken: the header and the grid show karte().
    void karteGezeigt();
    void zielGesetzt(quint32 i, double x, double y, const QString &ringeText, const QString &teilerText,
                     bool zweifelhaft);
    void zielLeer(quint32 i); // an empty slot of the card
    void zielUngueltig(quint32 i); // a missing or invalid shot
    void zieleFestgeschrieben(); // the server holds what the targets show
    void zieleGeleert(); // cancelled, or a card refused: no targets
    void eingabeGeaendert(Kartenfluss::Eingabe eingabe);
    // "Abbrechen" is enabled.
    void abbrechenFreigegeben();
    // Both buttons on and "Speichern" ready for Return: the officer decides.
    void entscheidungNoetig();
    void summenGeaendert();
    void meldungGeaendert(const QString &text, bool gespeichert);
    // The card's stored record holds hits; the answer comes as neuAuswertenBeantwortet.
    void frageNeuAuswerten(quint32 auftrag, const QString &text);
    // The question is no longer asked (a newer entry, the logoff).
    void frageZurueckgezogen(quint32 auftrag);
    void fehler(const QString &text);
    // The machine's line may read differently.
    void maschineGeaendert();
    // laedt() changed.
    void ladenGeaendert(bool laedt);
    // naechste() changed.
    void naechsteGeaendert(quint32 nummer);
    // The card on screen is done (saved or cancelled): the queued number is
    // entered now, as if typed, through the question of stored hits and all.
    void naechsteFaellig(quint32 nummer);

private:
    // A question open for a fetched card.
    struct Frage
    {
        quint32 auftrag = 0;
        ServiceProvider::Scheibe scheibe;
    };

    // Reports a change of laedt() when it goes out of scope.
    class Laden;
    void resetKarte();
    // The queued number goes into the input once the card on screen is done.
    void naechsteEinlesen();
    void setNaechste(quint32 nummer);
    // "Schuss 3 und 4 zweifelhaft – prüfen, dann Speichern"; empty for a clean card.
    QString warum() const;
    void nimmKarte(const ServiceProvider::Scheibe &scheibe);
    // The hold on the automatic submission ends without a new card.
    void freigeben();
    void uebermitteln(bool offizier);
    // A submission held back goes out now: the officer's always, the card's
    // own only while nothing unclean came since.
    bool nachreichen();
    // The submission to card id `id` was answered: a fetch held for it goes out.
    void beantwortet(quint32 id);
    // The card on screen is done: the link takes no more of its shots, and
    // those recorded are not replayed onto another card.
    void beenden();
    void sendeEinstellung();
    bool vollstaendig() const; // every position holds a valid shot
    void ringeInDenVerlauf();
    void setEingabe(Eingabe eingabe);
    void setMeldung(const QString &text, bool gespeichert = false);
    void zieheFrageZurueck();
    // The card on screen changed after the server confirmed it.
    void veraendert();

    Anschluss &_anschluss;
    bool _aktiv = false;
    Karte _k;
    AutoSpeichern _autoSpeichern = AutoSpeichern::Aus;
    // Counts every card taken and every cancel: late replies compare it to
    // tell whether their card is still the one on screen.
    quint64 _karte = 0;
    quint32 _abruf = 0;
    quint32 _abrufNummer = 0;
    Frage _frage;
    Uebermittlungen _uebermittlungen;
    // The card on screen was saved again while its submission was on its
    // way: the newer hits go out once it is answered, so that the server
    // cannot store the two in the opposite order.
    enum class Nachreichen { Nein, Automatisch, Offizier };
    Nachreichen _nachreichen = Nachreichen::Nein;
    // The reply to the latest entry came while a submission to its card id
    // was unanswered: the card is asked for again once that is answered.
    quint32 _nachfrage = 0;
    // The officer worked on the card on screen (by hand, or saved it) while
    // the reply to a newer entry was awaited: the shots held are its own.
    bool _beansprucht = false;
    Einstellung _einstellung;
    bool _einstellungOffen = false; // the card on screen still needs its settings line
    // The position of the link's first shot after the settings line: a card
    // of single targets cut by a lost link gets a line for the rest only.
    quint32 _versatz = 0;
    quint32 _schuesse = 0; // positions the link has reported (or timed out) for the card
    bool _fertig = false; // the link is done with the card on screen
    bool _wiederholung = false; // the shot buffer's replay is running
    quint32 _ignoriert = 0;
    Eingabe _eingabe = Eingabe::Gewaehlt;
    bool _speichernAn = false;
    bool _abbrechenAn = false;
    bool _scanGesperrt = false; // digits were refused; their Return is refused too
    QString _scan; // digits typed while the input is locked, for the next card
    quint32 _naechste = 0;
    int _letzter = -1;
    QString _meldung;
    bool _gespeichertGemeldet = false;
    QString _nachsatz;
    Verlauf _verlauf;
};
