// libFuzzer target for the serial side: arbitrary bytes through the framing
// and line handling of MaschineRm3, in every link state, checked against a
// small independent model of the line grammar.
//
// Input layout: byte 0 picks the link state (0 getrennt, 1 Verbindungsaufbau,
// 2 verbunden), byte 1 the shots the card expects (0..11); the rest is what
// the machine sends, fed one byte at a time.

#include "machine/maschine.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QtGlobal>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Erwartet
{
    bool valid;
    bool zweifelhaft;
};

[[noreturn]] void fehler(const char *was)
{
    std::fprintf(stderr, "fuzz_maschine: %s\n", was);
    std::abort();
}

// The grammar as the machine's manual has it, written without looking at the
// parser's tricks: at most 63 bytes per line, state 1 takes any first line,
// a shot line has more than 10 bytes and exactly five ";".
class Modell
{
public:
    Modell(int zustand, quint32 soll)
        : _zustand(zustand)
        , _soll(soll)
    { }

    void byte(char c, QList<Erwartet> &schuesse)
    {
        if (c != '\r') {
            if (_zeile.size() < 63)
                _zeile.append(c);
            return;
        }
        const QByteArray zeile = _zeile;
        _zeile.clear();
        if (_zustand == 1) {
            _zustand = 2;
            return;
        }
        if (_zustand != 2 || zeile == "SCHEIBE" || zeile == "ENDE")
            return;
        if (zeile.size() <= 10 || zeile.count(';') != 5 || _zahl >= _soll)
            return;
        const QList<QByteArray> f = zeile.split(';');
        // Fields end at a zero byte, as they do for the C conversion.
        auto feld = [&](int i) { return QByteArray(f[i].constData()); };
        bool valid = !feld(1).isEmpty() && feld(1)[0] >= '0' && feld(1)[0] <= '9';
        if (valid && !std::isfinite(std::strtod(feld(1).constData(), nullptr)))
            valid = false;
        if (!std::isfinite(std::strtod(feld(3).constData(), nullptr))
            || !std::isfinite(std::strtod(feld(4).constData(), nullptr)))
            valid = false;
        const bool m = !f[5].isEmpty() && f[5][0] == 'M';
        // A number written otherwise than a machine writes it is the officer's to check.
        static const QRegularExpression schlicht(
            QRegularExpression::anchoredPattern(QStringLiteral("[ \\t]*[+-]?[0-9]+(\\.[0-9]*)?[ \\t]*")));
        const auto plain = [&](int i) { return schlicht.match(QString::fromLatin1(feld(i))).hasMatch(); };
        const auto ziffer
            = [&](int i) { return !feld(i).isEmpty() && feld(i)[0] >= '0' && feld(i)[0] <= '9'; };
        const bool odd = (ziffer(1) && !plain(1)) || (ziffer(2) && !plain(2)) || !plain(3) || !plain(4);
        schuesse.append({ valid, m || !valid || odd });
        ++_zahl;
    }

private:
    int _zustand;
    quint32 _soll;
    quint32 _zahl = 0;
    QByteArray _zeile;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    std::setlocale(LC_ALL, "C");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int zustand = data[0] % 3;
    const quint32 soll = data[1] % 12;

    MaschineRm3 maschine;
    maschine.clearToState(zustand);
    maschine.armiereKarte(soll);

    QList<Erwartet> erwartet;
    Modell modell(zustand, soll);
    quint32 gesehen = 0;
    QObject::connect(
        &maschine, &MaschineRm3::schuss,
        [&](quint32 nummer, bool valid, double ringe, double teiler, double x, double y, bool zweifelhaft) {
            if (nummer != gesehen || nummer >= soll)
                fehler("shot number out of sequence or beyond the expected count");
            if (gesehen >= quint32(erwartet.size()))
                fehler("phantom shot: the grammar allows none here");
            const Erwartet &e = erwartet[int(gesehen)];
            if (valid != e.valid || zweifelhaft != e.zweifelhaft)
                fehler("flags differ from what the grammar implies");
            if (valid ? !(ringe >= 0.0 && std::isfinite(ringe)) : ringe != -1.0)
                fehler("rings value does not match valid");
            if (!(teiler == -1.0 || (teiler >= 0.0 && std::isfinite(teiler))))
                fehler("teiler neither absent nor a finite non-negative number");
            if (!std::isfinite(x) || !std::isfinite(y))
                fehler("position not finite");
            ++gesehen;
        });

    for (size_t i = 2; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        modell.byte(c, erwartet);
        maschine.verarbeiteBytes(QByteArray::fromRawData(&c, 1));
        if (maschine.zeilenLaenge() > 63)
            fehler("_zeilenLaenge above 63");
    }
    if (gesehen != quint32(erwartet.size()))
        fehler("a shot the grammar implies was not emitted");
    if (maschine.schusszahl() != gesehen || maschine.schusszahl() > soll)
        fehler("shot count differs from the shots emitted");
    return 0;
}
