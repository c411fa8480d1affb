// kovrit-server: stand-in for the competition server, so the client can be
// run, shown and tested end to end against something real.

#include "kovritserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTextStream>
#include <QUuid>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPair[2] = { -1, -1 };

void onTerminationSignal(int)
{
    // Only async-signal-safe work here; the event loop does the rest.
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPair[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop, so the server and its database are
// closed the normal way (the WAL checkpointed, no journal left behind).
bool quitOnTermination(QCoreApplication *app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPair) != 0)
        return false;
    auto *notifier = new QSocketNotifier(signalPair[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [notifier] {
        notifier->setEnabled(false);
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(signalPair[0], &byte, 1);
        qInfo("main: terminated by a signal, closing the database");
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}

bool parseListen(const QString &text, QHostAddress *address, quint16 *port)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint p = text.mid(colon + 1).toUInt(&ok);
    if (!ok || p > 65535)
        return false;
    if (host == QLatin1String("localhost"))
        *address = QHostAddress(QHostAddress::LocalHost);
    else if (!address->setAddress(host))
        return false;
    *port = static_cast<quint16>(p);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kovrit-server"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Stand-in for the kovrit competition server."));
    parser.addHelpOption();
    parser.addOption({ QStringLiteral("listen"),
                       QStringLiteral("Address and port to listen on (port 0 picks a free one)."),
                       QStringLiteral("ADDR:PORT"), QStringLiteral("127.0.0.1:8080") });
    parser.addOption({ QStringLiteral("db"), QStringLiteral("SQLite database file."), QStringLiteral("FILE"),
                       QStringLiteral("kovrit-server.sqlite") });
    parser.addOption(
        { QStringLiteral("seed-demo"), QStringLiteral("Fill an empty database with demo data.") });
    parser.addOption(
        { QStringLiteral("station-token"),
          QStringLiteral("Token a station presents (its config.json \"jwt\"); stored in the database."),
          QStringLiteral("TOKEN") });
    parser.addOption({ QStringLiteral("tls-cert"),
                       QStringLiteral("Serve HTTPS with this certificate (PEM, chain allowed)."),
                       QStringLiteral("FILE") });
    parser.addOption({ QStringLiteral("tls-key"), QStringLiteral("Private key of --tls-cert (PEM)."),
                       QStringLiteral("FILE") });
    parser.addOption({ QStringLiteral("token-age"),
                       QStringLiteral("Seconds a login token is valid (default %1, 12 hours).")
                           .arg(KovritServer::DefaultTokenAge),
                       QStringLiteral("SECONDS"), QString::number(KovritServer::DefaultTokenAge) });
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!quitOnTermination(&app)) {
        err << "kovrit-server: cannot catch SIGTERM and SIGINT\n";
        return 1;
    }
    bool ageOk = false;
    const qint64 tokenAge = parser.value(QStringLiteral("token-age")).toLongLong(&ageOk);
    if (!ageOk || tokenAge <= 0) {
        err << "kovrit-server: invalid --token-age value, expected a positive number of seconds\n";
        return 2;
    }

    QHostAddress address;
    quint16 port = 0;
    if (!parseListen(parser.value(QStringLiteral("listen")), &address, &port)) {
        err << "kovrit-server: invalid --listen value, expected ADDR:PORT\n";
        return 2;
    }

    KovritServer server;
    server.setTokenAge(tokenAge);
    if (!server.open(parser.value(QStringLiteral("db")))) {
        err << "kovrit-server: cannot open database: " << server.errorString() << "\n";
        return 1;
    }
    if (parser.isSet(QStringLiteral("station-token")))
        server.setStationToken(parser.value(QStringLiteral("station-token")));
    if (parser.isSet(QStringLiteral("seed-demo"))) {
        if (server.seedDemo())
            out << "Demo data created.\n";
        else if (server.isEmpty())
            err << "kovrit-server: could not create demo data: " << server.errorString() << "\n";
        else
            out << "Database not empty, demo data left out.\n";
    }
    if (server.stationToken().isEmpty()) {
        // Without a station token nobody could log in; make one up and keep it.
        server.setStationToken(QUuid::createUuid().toString(QUuid::WithoutBraces));
    }

    if (parser.isSet(QStringLiteral("tls-cert")) != parser.isSet(QStringLiteral("tls-key"))) {
        err << "kovrit-server: --tls-cert and --tls-key go together\n";
        return 2;
    }
    if (parser.isSet(QStringLiteral("tls-cert"))
        && !server.setTls(parser.value(QStringLiteral("tls-cert")),
                          parser.value(QStringLiteral("tls-key")))) {
        err << "kovrit-server: " << server.errorString() << "\n";
        return 1;
    }
    if (server.listen(address, port) == 0) {
        err << "kovrit-server: " << server.errorString() << "\n";
        return 1;
    }

    out << "kovrit-server listening on " << server.baseUrl() << "\n";
    out << "Station token (config.json \"jwt\"): " << server.stationToken() << "\n";
    if (server.hasUser(QLatin1String(KovritServer::DemoUser))) {
        out << "Demo login: user \"" << KovritServer::DemoUser << "\", password \""
            << KovritServer::DemoPassword << "\"\n";
        const QStringList cards = server.cardSummary();
        for (const QString &line : cards)
            out << "  card " << line << "\n";
    }
    out.flush();
    return app.exec();
}
