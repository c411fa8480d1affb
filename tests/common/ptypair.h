#pragma once

// A raw pseudo-terminal pair for serial tests: the code under test opens the
// slave path like a serial port, the test plays the other end on the master.
// The slave side stays open here as well, so the master does not see a
// hang-up before the client has opened the port.

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QSocketNotifier>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class PtyPair
{
public:
    PtyPair()
    {
        char name[256] = {};
        if (::openpty(&_master, &_slave, name, nullptr, nullptr) != 0)
            return; // leaves both descriptors at -1
        _slavePath = QString::fromLocal8Bit(name);
        termios t;
        ::tcgetattr(_slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(_slave, TCSANOW, &t);
        ::fcntl(_master, F_SETFL, ::fcntl(_master, F_GETFL) | O_NONBLOCK);
        _clock.start();
        _notifier = std::make_unique<QSocketNotifier>(_master, QSocketNotifier::Read);
        QObject::connect(_notifier.get(), &QSocketNotifier::activated, [this] { readMaster(); });
    }
    ~PtyPair()
    {
        closeMaster();
        if (_slave >= 0)
            ::close(_slave);
    }

    bool ok() const { return _master >= 0; }
    QString slavePath() const { return _slavePath; }
    int slaveFd() const { return _slave; } // for the line settings (tcgetattr)

    void write(const QByteArray &bytes)
    {
        qsizetype done = 0;
        while (_master >= 0 && done < bytes.size()) {
            const ssize_t n = ::write(_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
        }
    }

    // Everything the client wrote so far.
    QByteArray received() const { return _received; }
    void clearReceived()
    {
        _received.clear();
        _crTimes.clear();
    }
    // Milliseconds (since construction) at which each CR byte arrived.
    QList<qint64> crTimes() const { return _crTimes; }

    // Hangs up the line, as an unplugged cable does.
    void closeMaster()
    {
        _notifier.reset();
        if (_master >= 0)
            ::close(_master);
        _master = -1;
    }

private:
    void readMaster()
    {
        char buf[256];
        for (;;) {
            const ssize_t n = ::read(_master, buf, sizeof buf);
            if (n <= 0) {
                if (n < 0 && errno == EIO)
                    _notifier->setEnabled(false);
                return;
            }
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '\r')
                    _crTimes.append(_clock.elapsed());
            }
            _received.append(buf, n);
        }
    }

    int _master = -1;
    int _slave = -1;
    QString _slavePath;
    QByteArray _received;
    QList<qint64> _crTimes;
    QElapsedTimer _clock;
    std::unique_ptr<QSocketNotifier> _notifier;
};
