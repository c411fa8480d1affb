// kovrit-rm3sim: stand-in for the RM3 evaluation machine on a pseudo-terminal
// (or a real serial device), for trying the client without the machine and
// for replaying field logs.

#include "rm3simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

int fail(const QString &text)
{
    std::fprintf(stderr, "kovrit-rm3sim: %s\n", qPrintable(text));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kovrit-rm3sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Emulates the RM3 evaluation machine on a pseudo-terminal and prints the port to use.\n"
        "Answers \"V\", decodes settings lines, counts acknowledgement CRs, goes idle on \"EXIT\".\n"
        "A script holds one line to send per line, or \"sleep MS\"; it starts at the client's \"V\"\n"
        "(use --silent to let the script give the answer itself)."));
    parser.addHelpOption();
    const QCommandLineOption link(QStringLiteral("link"),
                                  QStringLiteral("Also create a symlink PATH to the port."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption device(
        QStringLiteral("device"),
        QStringLiteral("Use the existing serial device PATH instead of a pseudo-terminal."),
        QStringLiteral("PATH"));
    const QCommandLineOption autoRead(QStringLiteral("auto"),
                                      QStringLiteral("Read a card after each settings line."));
    const QCommandLineOption interval(QStringLiteral("interval"),
                                      QStringLiteral("Gap between shots (default 1000)."),
                                      QStringLiteral("MS"), QStringLiteral("1000"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the shot positions (default 1)."),
                                  QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption doubtful(QStringLiteral("doubtful"),
                                      QStringLiteral("Probability that a shot is doubtful (default 0)."),
                                      QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption spread(QStringLiteral("spread"),
                                    QStringLiteral("Spread of the shots in ring widths (default 2)."),
                                    QStringLiteral("W"), QStringLiteral("2"));
    const QCommandLineOption script(QStringLiteral("script"), QStringLiteral("Send the lines of FILE."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("Pace output at this line speed (off: 0)."),
                                  QStringLiteral("BAUD"), QStringLiteral("0"));
    const QCommandLineOption answer(QStringLiteral("answer"), QStringLiteral("Answer line to \"V\"."),
                                    QStringLiteral("TEXT"), QStringLiteral("RM3 BEREIT"));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Fault: never answer \"V\"."));
    const QCommandLineOption garbage(
        QStringLiteral("garbage"),
        QStringLiteral("Fault: send a garbage and an over-long line before each shot."));
    const QCommandLineOption closeAfter(
        QStringLiteral("close-after"),
        QStringLiteral("Fault: drop the line after N shots (an unplugged cable)."), QStringLiteral("N"));
    parser.addOptions({ link, device, autoRead, interval, seed, doubtful, spread, script, baud, answer,
                        silent, garbage, closeAfter });
    parser.process(app);

    auto zahl = [&parser](const QCommandLineOption &o, bool *ok) { return parser.value(o).toInt(ok); };
    bool ok1, ok2, ok3, ok4 = true, ok5;
    const int intervalMs = zahl(interval, &ok1);
    const uint seedValue = parser.value(seed).toUInt(&ok2);
    const int baudValue = zahl(baud, &ok3);
    const int closeAfterValue = parser.isSet(closeAfter) ? zahl(closeAfter, &ok4) : -1;
    const double p = parser.value(doubtful).toDouble(&ok5);
    bool ok6;
    const double spreadValue = parser.value(spread).toDouble(&ok6);
    if (!ok1 || !ok2 || !ok3 || !ok4 || !ok5 || !ok6 || intervalMs < 0 || baudValue < 0)
        return fail(QStringLiteral("invalid number in the options"));

    QList<Rm3Simulator::ScriptStep> steps;
    QString error;
    if (parser.isSet(script) && !Rm3Simulator::loadScript(parser.value(script), &steps, &error))
        return fail(error);

    Rm3Simulator sim;
    sim.setAuto(parser.isSet(autoRead));
    sim.setInterval(intervalMs);
    sim.setSeed(seedValue);
    sim.setDoubtfulProbability(p);
    sim.setSpread(spreadValue);
    sim.setBaud(baudValue);
    sim.setConnectAnswer(parser.value(answer).toLatin1());
    sim.setSilentOnConnect(parser.isSet(silent));
    sim.setGarbage(parser.isSet(garbage));
    sim.setCloseAfterShots(closeAfterValue);

    const bool opened
        = parser.isSet(device) ? sim.openDevice(parser.value(device), &error) : sim.openPty(&error);
    if (!opened)
        return fail(error);

    QString linkPath;
    if (parser.isSet(link)) {
        linkPath = parser.value(link);
        const QFileInfo existing(linkPath);
        if (existing.isSymLink())
            QFile::remove(linkPath);
        else if (existing.exists())
            return fail(linkPath + QStringLiteral(" exists and is not a symlink"));
        if (!QFile::link(sim.slavePath(), linkPath))
            return fail(QStringLiteral("cannot create symlink ") + linkPath);
    }

    std::printf("%s\n", qPrintable(sim.slavePath()));
    std::fflush(stdout);

    if (!steps.isEmpty()) {
        QObject::connect(&sim, &Rm3Simulator::connectRequested, &sim, [&sim, &steps] {
            if (!steps.isEmpty())
                sim.runScript(std::exchange(steps, {}));
        });
    }
    QObject::connect(&sim, &Rm3Simulator::lineClosed, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    if (::pipe(signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }

    const int rc = app.exec();
    if (!linkPath.isEmpty() && QFileInfo(linkPath).isSymLink())
        QFile::remove(linkPath);
    return rc;
}
