#include "sitzung.h"

#include "benchapp.h"

#include "app/mainwindow.h"
#include "targets/lxscheibe.h"
#include "targets/scheibenlayout.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>

ServerProzess::~ServerProzess()
{
    if (_prozess.state() != QProcess::NotRunning) {
        _prozess.closeWriteChannel(); // the child quits when its stdin closes
        if (!_prozess.waitForFinished(5000))
            _prozess.kill();
    }
}

bool ServerProzess::start(const QString &benchExe, int karten)
{
    _prozess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    _prozess.start(benchExe, { QStringLiteral("server"), QString::number(karten) });
    if (!_prozess.waitForStarted(10000))
        return false;
    QByteArray zeile;
    while (!zeile.contains('\n')) {
        if (!_prozess.waitForReadyRead(60000))
            return false;
        zeile += _prozess.readAll();
    }
    _url = QString::fromLatin1(zeile.trimmed());
    return _url.startsWith(QLatin1String("http"));
}

Sitzung::Sitzung(BenchApp &app, const QString &url)
    : _app(app)
    , _url(url)
{ }

Sitzung::~Sitzung() = default;

LxScheibe *Sitzung::scheibe(unsigned i) const
{
    auto *grid = _fenster ? _fenster->findChild<ScheibenLayout *>() : nullptr;
    return grid ? grid->getScheibe(i) : nullptr;
}

bool Sitzung::start(int width, int height)
{
    if (!_pty.ok() || !_dir.isValid())
        return false;
    const QString config = _dir.filePath(QStringLiteral("config.json"));
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QJsonDocument(QJsonObject { { QStringLiteral("url"), _url },
                                        { QStringLiteral("jwt"), QString::fromLatin1(ServerProzess::Token) },
                                        { QStringLiteral("port"), _pty.slavePath() } })
                .toJson());
    f.close();

    _fenster = std::make_unique<MainWindow>(nullptr, config);
    _fenster->resize(width, height);
    _fenster->show();

    auto *wahl = _fenster->findChild<QComboBox *>(QStringLiteral("wettkampfSelect"));
    // Prompt, the competition, the reload entry.
    if (!wahl || !_app.pumpUntil([&] { return wahl->count() >= 3; }))
        return false;
    wahl->setCurrentIndex(1);
    _fenster->findChild<QLineEdit *>(QStringLiteral("userEdit"))
        ->setText(QString::fromLatin1(ServerProzess::User));
    _fenster->findChild<QLineEdit *>(QStringLiteral("passwordEdit"))
        ->setText(QString::fromLatin1(ServerProzess::Password));
    _fenster->findChild<QPushButton *>(QStringLiteral("loginButton"))->click();
    if (!_app.pumpUntil(
            [&] { return _fenster->findChild<QLineEdit *>(QStringLiteral("scheibe")) != nullptr; }))
        return false;

    // The machine answers "V" CR with any line.
    _fenster->on_connect_triggered();
    if (!_app.pumpUntil([&] { return _pty.received().contains("V\r"); }))
        return false;
    _pty.write("RM3\r");
    auto *status = _fenster->findChild<QLabel *>(QStringLiteral("maschinenStatus"));
    return _app.pumpUntil([&] { return status->text().contains(QLatin1String("verbunden")); });
}

bool Sitzung::karte(quint32 nummer, double *ns)
{
    auto *eingabe = _fenster->findChild<QLineEdit *>(QStringLiteral("scheibe"));
    if (!eingabe || !eingabe->isEnabled())
        return false;
    _pty.clearReceived();
    eingabe->setText(QString::number(nummer));
    const qint64 vorher = _app.replyFinishedAt();
    // What the line edit does on Return.
    emit eingabe->returnPressed();
    // Laid out and painted: all ten new targets painted, and the settings
    // line on its way to the machine.
    const bool ok = _app.pumpUntil([&] {
        if (_app.replyFinishedAt() == vorher || !_pty.received().contains('\r'))
            return false;
        for (unsigned i = 0; i < 10; ++i) {
            LxScheibe *s = scheibe(i);
            if (!s || _app.paintedAfter(s, _app.replyFinishedAt()) == 0)
                return false;
        }
        return true;
    });
    if (!ok)
        return false;
    qint64 ende = 0;
    for (unsigned i = 0; i < 10; ++i)
        ende = std::max(ende, _app.paintedAfter(scheibe(i), _app.replyFinishedAt()));
    *ns = double(ende - _app.replyFinishedAt());
    return true;
}

bool Sitzung::schuss(unsigned i, double *ns)
{
    LxScheibe *s = scheibe(i);
    if (!s)
        return false;
    // A clean shot line as the machine sends it, about 30 bytes.
    const double x = 0.37 * i - 1.5;
    const double y = 1.1 - 0.23 * i;
    const double ringe = LxScheibe::ringe(x, y);
    char zeile[64];
    const int n = std::snprintf(zeile, sizeof zeile, "F0;%.1f;%07.1f;%+.3f;%+.3f;-\r", ringe,
                                LxScheibe::_teiler(x, y, 250.0), x, y);
    const qint64 t0 = BenchApp::now();
    _pty.write(QByteArray(zeile, n));
    if (!_app.pumpUntil([&] { return _app.paintedAfter(s, t0) > 0 && s->ringeLabel() != QLatin1String(""); }))
        return false;
    *ns = double(_app.paintedAfter(s, t0) - t0);
    return true;
}

bool Sitzung::gespeichert()
{
    auto *eingabe = _fenster->findChild<QLineEdit *>(QStringLiteral("scheibe"));
    return eingabe && _app.pumpUntil([&] { return eingabe->isEnabled(); });
}
