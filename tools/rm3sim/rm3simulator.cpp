#include "rm3simulator.h"

#include <QDebug>
#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString systemError(const QString &what)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errno));
}

// Readable form of a line for the log: control bytes as <hex>.
QString printable(const QByteArray &line)
{
    QString s;
    for (char c : line) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 32 && u < 127)
            s += QLatin1Char(c);
        else
            s += QStringLiteral("<%1>").arg(u, 2, 16, QLatin1Char('0'));
    }
    return s;
}

} // namespace

Rm3Simulator::Rm3Simulator(QObject *parent)
    : QObject(parent)
{
    _paceTimer.setInterval(5);
    connect(&_paceTimer, &QTimer::timeout, this, &Rm3Simulator::flush);
    _shotTimer.setSingleShot(true);
    connect(&_shotTimer, &QTimer::timeout, this, &Rm3Simulator::nextShot);
    _scriptTimer.setSingleShot(true);
    connect(&_scriptTimer, &QTimer::timeout, this, &Rm3Simulator::runScriptStep);
}

Rm3Simulator::~Rm3Simulator()
{
    closeLine();
    if (_slaveFd >= 0)
        ::close(_slaveFd);
}

bool Rm3Simulator::openPty(QString *error)
{
    char name[256] = {};
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        if (error)
            *error = systemError(QStringLiteral("openpty"));
        return false;
    }
    termios t;
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    ::tcgetattr(master, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(master, TCSANOW, &t);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    // The slave stays open here too: without it the master reads a hang-up
    // until the client has opened the port, and between two of its openings.
    _fd = master;
    _slaveFd = slave;
    _slavePath = QString::fromLocal8Bit(name);
    _readNotifier = new QSocketNotifier(_fd, QSocketNotifier::Read, this);
    connect(_readNotifier, &QSocketNotifier::activated, this, &Rm3Simulator::onReadable);
    qInfo().noquote() << "Rm3Simulator::openPty: " + _slavePath;
    return true;
}

bool Rm3Simulator::openDevice(const QString &path, QString *error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (error)
            *error = systemError(path);
        return false;
    }
    termios t;
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B2400);
        ::cfsetospeed(&t, B2400);
        t.c_cflag |= CLOCAL | CREAD | CRTSCTS;
        ::tcsetattr(fd, TCSANOW, &t);
    }
    _fd = fd;
    _slavePath = path;
    _readNotifier = new QSocketNotifier(_fd, QSocketNotifier::Read, this);
    connect(_readNotifier, &QSocketNotifier::activated, this, &Rm3Simulator::onReadable);
    qInfo().noquote() << "Rm3Simulator::openDevice: " + path;
    return true;
}

void Rm3Simulator::closeLine()
{
    _closePending = false;
    if (_fd < 0)
        return;
    delete _readNotifier;
    _readNotifier = nullptr;
    delete _writeNotifier;
    _writeNotifier = nullptr;
    ::close(_fd);
    _fd = -1;
    // Our own hold on the slave goes too; the pair is finished.
    if (_slaveFd >= 0)
        ::close(_slaveFd);
    _slaveFd = -1;
    _paceTimer.stop();
    _shotTimer.stop();
    _scriptTimer.stop();
    _out.clear();
    qInfo().noquote() << "Rm3Simulator::closeLine: line dropped";
    emit lineClosed();
}

void Rm3Simulator::sendLine(const QByteArray &line)
{
    enqueue(line + '\r');
}

void Rm3Simulator::sendRaw(const QByteArray &bytes)
{
    enqueue(bytes);
}

void Rm3Simulator::enqueue(const QByteArray &bytes)
{
    if (_fd < 0 || _closePending)
        return;
    if (_out.isEmpty()) {
        _paceClock.start();
        _pacedSent = 0;
    }
    _out.append(bytes);
    flush();
}

void Rm3Simulator::flush()
{
    if (_fd < 0)
        return;
    while (!_out.isEmpty()) {
        qint64 allowed = _out.size();
        if (_baud > 0) {
            // 10 bits per byte on the wire: start, 8 data, stop.
            const qint64 due = 1 + _paceClock.elapsed() * _baud / 10000;
            allowed = qMin<qint64>(allowed, due - _pacedSent);
            if (allowed <= 0) {
                if (!_paceTimer.isActive())
                    _paceTimer.start();
                return;
            }
        }
        const ssize_t n = ::write(_fd, _out.constData(), size_t(allowed));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                if (!_writeNotifier) {
                    _writeNotifier = new QSocketNotifier(_fd, QSocketNotifier::Write, this);
                    connect(_writeNotifier, &QSocketNotifier::activated, this, &Rm3Simulator::flush);
                }
                _writeNotifier->setEnabled(true);
                return;
            }
            qInfo().noquote() << systemError(QStringLiteral("Rm3Simulator::flush: write"));
            closeLine();
            return;
        }
        _out.remove(0, n);
        _pacedSent += n;
    }
    _paceTimer.stop();
    if (_writeNotifier)
        _writeNotifier->setEnabled(false);
    emit outputDrained();
    if (_closePending)
        QTimer::singleShot(200, this, &Rm3Simulator::closeLine);
}

void Rm3Simulator::onReadable()
{
    char buf[256];
    for (;;) {
        const ssize_t n = ::read(_fd, buf, sizeof buf);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (n <= 0) {
            // The other side went away (a real device vanished).
            qInfo().noquote() << "Rm3Simulator::onReadable: line hung up";
            closeLine();
            return;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == '\r') {
                const QByteArray line = _rx;
                _rx.clear();
                handleLine(line);
                if (_fd < 0)
                    return;
            } else if (_rx.size() < 1024) {
                _rx.append(buf[i]);
            }
        }
    }
}

void Rm3Simulator::handleLine(const QByteArray &line)
{
    _received.append(line);
    emit lineReceived(line);

    if (line.isEmpty()) {
        handleAck();
        return;
    }
    if (line == "V") {
        qInfo().noquote() << "Rm3Simulator::handleLine: connect request";
        if (_silent) {
            qInfo().noquote() << "Rm3Simulator::handleLine: staying silent";
        } else {
            _connected = true;
            sendLine(_connectAnswer);
        }
        emit connectRequested();
        return;
    }
    if (line == "EXIT") {
        qInfo().noquote() << "Rm3Simulator::handleLine: EXIT, idle";
        _connected = false;
        _card.clear();
        _cardNext = 0;
        _acksWanted = 0;
        _shotTimer.stop();
        emit exitReceived();
        return;
    }
    Settings s;
    if (decodeSettings(line, &s)) {
        qInfo().noquote() << QStringLiteral("Rm3Simulator::handleLine: settings weapon %1 card %2 series %3 "
                                            "scoring %4 limit %5 factor %6 "
                                            "printer %7 count %8 text '%9' -> %10 shots")
                                 .arg(s.weapon)
                                 .arg(s.cardKind)
                                 .arg(s.series)
                                 .arg(s.scoring)
                                 .arg(s.teilerLimit)
                                 .arg(s.teilerFactor)
                                 .arg(s.printer)
                                 .arg(s.count)
                                 .arg(printable(s.text))
                                 .arg(s.shots);
        emit settingsReceived(s);
        if (!_connected) {
            qInfo().noquote() << "Rm3Simulator::handleLine: not connected, settings ignored";
            return;
        }
        if (_auto)
            startCard(drawCard(s.shots, s.weapon));
        return;
    }
    qInfo().noquote() << "Rm3Simulator::handleLine: unknown line '" + printable(line) + "'";
}

void Rm3Simulator::handleAck()
{
    ++_acks;
    qInfo().noquote() << QStringLiteral("Rm3Simulator::handleAck: CR #%1").arg(_acks);
    emit ackReceived(_acks);
    if (_acksWanted <= 0)
        return;
    if (--_acksWanted > 0)
        return;
    if (_cardNext < _card.size())
        scheduleNextShot();
    else
        finishCard();
}

void Rm3Simulator::queueShots(const QList<Shot> &shots)
{
    startCard(shots);
}

void Rm3Simulator::startCard(const QList<Shot> &shots)
{
    _card = shots;
    _cardNext = 0;
    _acksWanted = 0;
    if (_card.isEmpty()) {
        finishCard();
        return;
    }
    scheduleNextShot();
}

void Rm3Simulator::scheduleNextShot()
{
    _shotTimer.start(_intervalMs);
}

void Rm3Simulator::nextShot()
{
    if (_fd < 0 || _acksWanted > 0 || _cardNext >= _card.size())
        return;
    if (_garbage) {
        sendLine(garbageLine());
        // Separators beyond the 63rd byte must not make this a shot line.
        sendLine(QByteArray(70, 'G') + ";1;2;3;4;");
    }
    const int index = _cardNext++;
    const Shot &shot = _card.at(index);
    const QByteArray line = shotLine(index + 1, shot);
    sendLine(line);
    ++_shotsSent;
    emit shotSent(index, line);
    if (_closeAfter >= 0 && _shotsSent >= _closeAfter) {
        // The cable is pulled once the shot is on the wire and the client has
        // had a moment to take it; the rest of the card is never read.
        _card.clear();
        _cardNext = 0;
        _closePending = true;
        if (_out.isEmpty())
            QTimer::singleShot(200, this, &Rm3Simulator::closeLine);
        return;
    }
    const bool last = _cardNext >= _card.size();
    if (shot.doubtful) {
        // The machine holds the card until the officer has seen the shot.
        _acksWanted = last ? 1 : 4;
        sendLine(last ? "ENDE" : "SCHEIBE");
        return;
    }
    if (last)
        finishCard();
    else
        scheduleNextShot();
}

void Rm3Simulator::finishCard()
{
    qInfo().noquote() << "Rm3Simulator::finishCard: card done";
    _card.clear();
    _cardNext = 0;
    _acksWanted = 0;
    emit cardFinished();
}

QList<Rm3Simulator::Shot> Rm3Simulator::drawCard(int count, int weapon)
{
    QList<Shot> shots;
    for (int i = 0; i < count; ++i) {
        // Normally distributed around the centre (Box-Muller).
        const double u1 = 1.0 - _rng.generateDouble();
        const double u2 = _rng.generateDouble();
        const double r = _spread * std::sqrt(-2.0 * std::log(u1));
        const double x = std::round(r * std::cos(2.0 * M_PI * u2) * 100.0) / 100.0;
        const double y = std::round(r * std::sin(2.0 * M_PI * u2) * 100.0) / 100.0;
        const bool doubtful = _doubtfulP > 0.0 && _rng.generateDouble() < _doubtfulP;
        shots.append(scoredShot(x, y, weapon, doubtful));
    }
    return shots;
}

QByteArray Rm3Simulator::garbageLine()
{
    QByteArray g;
    for (int i = 0; i < 20; ++i) {
        char c;
        do {
            c = static_cast<char>(_rng.bounded(256));
        } while (c == '\r' || c == ';');
        g.append(c);
    }
    return g;
}

Rm3Simulator::Shot Rm3Simulator::scoredShot(double x, double y, int weapon, bool doubtful)
{
    Shot s;
    s.x = x;
    s.y = y;
    s.doubtful = doubtful;
    const double r = std::sqrt(x * x + y * y);
    const int tenths = static_cast<int>(std::floor(10.0 * r + 0.5));
    const double v = (110 - tenths) / 10.0;
    s.rings = v < 1.0 ? 0.0 : std::min(v, 10.9);
    s.teiler = r * (weapon == 2 ? 800.0 : 250.0);
    return s;
}

QByteArray Rm3Simulator::shotLine(int number, const Shot &shot)
{
    return QByteArray::number(number) + ';' + QByteArray::number(shot.rings, 'f', 1) + ';'
        + QByteArray::number(shot.teiler, 'f', 1) + ';' + QByteArray::number(shot.x, 'f', 2) + ';'
        + QByteArray::number(shot.y, 'f', 2) + ';' + (shot.doubtful ? "M" : "");
}

bool Rm3Simulator::decodeSettings(const QByteArray &line, Settings *settings)
{
    if (line.size() < 9)
        return false;
    for (int i = 0; i < 8; ++i) {
        if (line.at(i) < '0' || line.at(i) > '9')
            return false;
    }
    const char c = line.at(8);
    int count;
    if (c >= '0' && c <= '9')
        count = c - '0';
    else if (c == 'A')
        count = 100;
    else if (c > 'A' && c <= 'J')
        count = (c - 'A') * 10;
    else
        return false;
    Settings s;
    s.weapon = line.at(0) - '0';
    s.cardKind = line.at(1) - '0';
    s.series = line.at(2) - '0';
    s.scoring = line.at(3) - '0';
    s.teilerLimit = (line.at(4) - '0') * 10 + (line.at(5) - '0');
    s.teilerFactor = line.at(6) - '0';
    s.printer = line.at(7) - '0';
    s.count = count;
    s.text = line.mid(9);
    static const int multiplier[4] = { 0, 1, 5, 10 };
    s.shots = s.cardKind <= 3 ? count * multiplier[s.cardKind] : count;
    *settings = s;
    return true;
}

void Rm3Simulator::runScript(const QList<ScriptStep> &steps)
{
    _script = steps;
    _scriptNext = 0;
    runScriptStep();
}

void Rm3Simulator::runScriptStep()
{
    while (_scriptNext < _script.size()) {
        const ScriptStep step = _script.at(_scriptNext++);
        if (step.sleepMs >= 0) {
            _scriptTimer.start(step.sleepMs);
            return;
        }
        sendLine(step.line);
    }
    emit scriptFinished();
}

bool Rm3Simulator::loadScript(const QString &file, QList<ScriptStep> *steps, QString *error)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file + QStringLiteral(": ") + f.errorString();
        return false;
    }
    steps->clear();
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (i == lines.size() - 1 && line.isEmpty())
            break; // the newline ending the file
        if (line.endsWith('\r'))
            line.chop(1);
        ScriptStep step;
        if (line.startsWith("sleep ")) {
            bool ok = false;
            const int ms = line.mid(6).trimmed().toInt(&ok);
            if (ok && ms >= 0) {
                step.sleepMs = ms;
                steps->append(step);
                continue;
            }
        }
        step.line = line;
        steps->append(step);
    }
    return true;
}
