#include "targets/gleichegroesse.h"

#include "targets/lxscheibe.h"

#include <QEvent>

#include <climits>

GleicheGroesse::GleicheGroesse(QObject *parent)
    : QObject(parent)
{ }

void GleicheGroesse::setScheiben(const QList<LxScheibe *> &scheiben)
{
    for (const QPointer<LxScheibe> &alt : std::as_const(_scheiben)) {
        if (alt)
            alt->removeEventFilter(this);
    }
    _scheiben.clear();
    for (LxScheibe *scheibe : scheiben) {
        scheibe->installEventFilter(this);
        _scheiben << scheibe;
    }
    angleichen();
}

bool GleicheGroesse::eventFilter(QObject *objekt, QEvent *event)
{
    if (event->type() == QEvent::Resize)
        angleichen();
    return QObject::eventFilter(objekt, event);
}

void GleicheGroesse::angleichen()
{
    // Every target is resized on its own; until the last one is, the cap
    // may follow an old size, and the last resize sets it right.
    int kleinste = INT_MAX;
    for (const QPointer<LxScheibe> &scheibe : std::as_const(_scheiben)) {
        if (scheibe)
            kleinste = std::min(kleinste, LxScheibe::pixelProRingFuer(scheibe->size()));
    }
    for (const QPointer<LxScheibe> &scheibe : std::as_const(_scheiben)) {
        if (scheibe)
            scheibe->setHoechstensPixelProRing(kleinste);
    }
}
