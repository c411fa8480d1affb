#include "machine/uhr.h"

namespace {

Uhr *eingesetzt = nullptr;

} // namespace

Uhr &Uhr::system()
{
    static Uhr uhr;
    return uhr;
}

Uhr &Uhr::aktuell()
{
    return eingesetzt ? *eingesetzt : system();
}

void Uhr::setAktuell(Uhr *uhr)
{
    eingesetzt = uhr;
}

QDateTime Uhr::jetzt() const
{
    return QDateTime::currentDateTime();
}

void Uhr::starten(Wecker *wecker, int ms)
{
    wecker->_timer.setSingleShot(wecker->_einmal);
    wecker->_timer.start(ms);
}

void Uhr::anhalten(Wecker *wecker)
{
    wecker->_timer.stop();
}

bool Uhr::laeuft(const Wecker *wecker) const
{
    return wecker->_timer.isActive();
}

void Uhr::umziehen(Wecker *wecker)
{
    wecker->_uhr = &system();
}

void Uhr::klingeln(Wecker *wecker)
{
    emit wecker->timeout();
}

Wecker::Wecker(QObject *parent)
    : QObject(parent)
    , _uhr(&Uhr::aktuell())
{
    connect(&_timer, &QTimer::timeout, this, &Wecker::timeout);
    _uhr->anmelden(this);
}

Wecker::~Wecker()
{
    _uhr->vergessen(this);
}

void Wecker::setInterval(int ms)
{
    const bool lief = isActive();
    _intervall = ms;
    if (lief)
        start();
}

void Wecker::start(int ms)
{
    _intervall = ms;
    start();
}
