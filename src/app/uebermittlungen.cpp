#include "app/uebermittlungen.h"

#include <algorithm>

void Uebermittlungen::neu(const Uebermittlung &uebermittlung)
{
    _letzte.insert(uebermittlung.id, uebermittlung.auftrag);
    _offen.append(uebermittlung);
}

bool Uebermittlungen::nimm(quint32 auftrag, Uebermittlung *uebermittlung)
{
    for (qsizetype i = 0; i < _offen.size(); ++i) {
        if (_offen.at(i).auftrag == auftrag) {
            *uebermittlung = _offen.takeAt(i);
            return true;
        }
    }
    return false;
}

bool Uebermittlungen::unterwegsZu(quint32 id) const
{
    return std::any_of(_offen.cbegin(), _offen.cend(), [id](const Uebermittlung &u) { return u.id == id; });
}
