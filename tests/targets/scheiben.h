#pragma once

#include "targets/lgscheibe.h"
#include "targets/lpscheibe.h"

#include <QImage>

#include <memory>

// A face as the grid builds it: "Lg" is the rifle face, anything else the pistol.
inline std::unique_ptr<LxScheibe> neueScheibe(const QString &typ, unsigned index = 0)
{
    if (typ == QLatin1String("Lg"))
        return std::make_unique<LgScheibe>(nullptr, index, 250.0);
    return std::make_unique<LpScheibe>(nullptr, index, 800.0);
}

// Paints the face at the given size, as it appears on screen.
inline QImage paint(LxScheibe &scheibe, int w, int h)
{
    scheibe.resize(w, h);
    return scheibe.grab().toImage().convertToFormat(QImage::Format_RGB32);
}
