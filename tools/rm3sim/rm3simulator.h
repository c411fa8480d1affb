#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QString>
#include <QTimer>

class QSocketNotifier;

// Stand-in for the RM3 evaluation machine on the far end of a serial line.
//
// It keeps to the machine's line grammar: it answers "V" CR with a line,
// takes one settings line per card and then "reads the card", sending one
// shot line "n;rings;teiler;x;y;marker" per shot. After a doubtful shot it
// sends "SCHEIBE" and waits for four carriage returns, or "ENDE" and one CR
// when that shot was the card's last. "EXIT" CR makes it idle.
//
// The line is either the master side of a raw pseudo-terminal pair (the
// client opens the slave path like a serial port) or a real serial device.
class Rm3Simulator : public QObject
{
    Q_OBJECT

public:
    struct Shot
    {
        double x = 0.0; // ring widths right of the centre
        double y = 0.0; // ring widths below the centre
        double rings = 0.0; // 0.0 for a miss, otherwise 1.0 to 10.9
        double teiler = 0.0;
        bool doubtful = false;
    };

    // One decoded settings line.
    struct Settings
    {
        int weapon = 0; // 1 air rifle, 2 air pistol
        int cardKind = 0; // 0..3 select the shot multiplier 0, 1, 5, 10
        int series = 0;
        int scoring = 0;
        int teilerLimit = 0; // two digits
        int teilerFactor = 0;
        int printer = 0;
        int count = 0; // decoded count character; "A" stands for 100
        QByteArray text;
        int shots = 0; // shots the machine reads for this card
    };

    // One step of a script: a line to send, or a pause.
    struct ScriptStep
    {
        QByteArray line;
        int sleepMs = -1; // >= 0: pause instead of a line
    };

    explicit Rm3Simulator(QObject *parent = nullptr);
    ~Rm3Simulator() override;

    bool openPty(QString *error = nullptr);
    bool openDevice(const QString &path, QString *error = nullptr);
    QString slavePath() const { return _slavePath; }
    bool isOpen() const { return _fd >= 0; }
    // Drops the line as an unplugged cable does.
    void closeLine();

    void setAuto(bool on) { _auto = on; }
    void setInterval(int ms) { _intervalMs = ms; }
    void setSeed(quint32 seed) { _rng.seed(seed); }
    void setDoubtfulProbability(double p) { _doubtfulP = p; }
    void setSpread(double ringWidths) { _spread = ringWidths; }
    // Paces outgoing bytes at the line speed (10 bits per byte); 0 sends at once.
    void setBaud(int baud) { _baud = baud; }
    void setConnectAnswer(const QByteArray &line) { _connectAnswer = line; }
    // Fault modes.
    void setSilentOnConnect(bool on) { _silent = on; }
    void setGarbage(bool on) { _garbage = on; }
    void setCloseAfterShots(int n) { _closeAfter = n; }

    void sendLine(const QByteArray &line);
    void sendRaw(const QByteArray &bytes);
    // Reads a card with exactly these shots, as after a settings line.
    void queueShots(const QList<Shot> &shots);
    // Runs the steps in order; the script is sent as it stands.
    void runScript(const QList<ScriptStep> &steps);
    static bool loadScript(const QString &file, QList<ScriptStep> *steps, QString *error = nullptr);

    QList<QByteArray> receivedLines() const { return _received; }
    int ackCount() const { return _acks; }
    int shotsSent() const { return _shotsSent; }
    bool connected() const { return _connected; }
    bool cardRunning() const { return _cardNext < _card.size() || _acksWanted > 0; }

    // The machine's own scoring: rings with tenths from the distance in ring
    // widths, Teiler = distance x 250 (air rifle) or x 800 (air pistol).
    static Shot scoredShot(double x, double y, int weapon, bool doubtful = false);
    static QByteArray shotLine(int number, const Shot &shot);
    static bool decodeSettings(const QByteArray &line, Settings *settings);

signals:
    void lineReceived(const QByteArray &line);
    void connectRequested();
    void exitReceived();
    void settingsReceived(const Rm3Simulator::Settings &settings);
    void ackReceived(int total);
    void shotSent(int index, const QByteArray &line);
    // Every shot of the card sent and every acknowledgement received.
    void cardFinished();
    void lineClosed();
    void scriptFinished();
    // Everything queued has been written to the line.
    void outputDrained();

private:
    void onReadable();
    void handleLine(const QByteArray &line);
    void handleAck();
    void startCard(const QList<Shot> &shots);
    void nextShot();
    void scheduleNextShot();
    void finishCard();
    QList<Shot> drawCard(int count, int weapon);
    QByteArray garbageLine();
    void enqueue(const QByteArray &bytes);
    void flush();
    void runScriptStep();

    int _fd = -1;
    int _slaveFd = -1;
    QString _slavePath;
    QSocketNotifier *_readNotifier = nullptr;
    QSocketNotifier *_writeNotifier = nullptr;
    QByteArray _rx;
    QByteArray _out;
    QTimer _paceTimer;
    QElapsedTimer _paceClock;
    qint64 _pacedSent = 0;

    bool _auto = false;
    int _intervalMs = 1000;
    QRandomGenerator _rng { 1u };
    double _doubtfulP = 0.0;
    double _spread = 2.0;
    int _baud = 0;
    QByteArray _connectAnswer = "RM3 BEREIT";
    bool _silent = false;
    bool _garbage = false;
    int _closeAfter = -1;
    bool _closePending = false;

    bool _connected = false;
    QList<QByteArray> _received;
    int _acks = 0;
    int _shotsSent = 0;

    QList<Shot> _card;
    int _cardNext = 0;
    int _acksWanted = 0;
    QTimer _shotTimer;

    QList<ScriptStep> _script;
    int _scriptNext = 0;
    QTimer _scriptTimer;
};

Q_DECLARE_METATYPE(Rm3Simulator::Settings)
