#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPair>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>

#include <optional>

class QNetworkReply;

// Client of the competition server: login, competition list, card fetch and
// hit submission over HTTP with JSON bodies and a bearer token. Every request
// reports its outcome through exactly one signal; nothing is thrown.
class ServiceProvider : public QObject
{
    Q_OBJECT

public:
    // One hit of a card; ringe/teiler of -1 mean "no hit in this slot".
    struct Treffer
    {
        double x = 0.0;
        double y = 0.0;
        double ringe = -1.0; // rings with tenths, e.g. 10.3
        double teiler = -1.0;

        void clear();
        bool valid() const { return ringe >= 0.0; } // false for NaN as well
    };

    // One target card as the server describes it.
    struct Scheibe
    {
        quint32 id = 0; // the hits are submitted under this id, not the printed number
        qint32 waffenTyp = 0; // 1 air rifle, 2 air pistol
        qint32 schussProScheibe = 0;
        double teilerFaktor = 0.0;
        qint32 ringe = 0; // sum of the truncated ring values of the stored hits
        double zehntel = 0.0; // sum of the full ring values of the stored hits
        QString wertungsdatum;
        qint32 schuetzeId = 0;
        QString schuetze;
        QString verein;
        QString mannschaft;
        QString waffe;
        qint32 scheibenProSerie = 0;
        qint32 serieRinge = 0;
        double serieZehntel = 0.0;
        QString kaufdatum;
        QStringList wettbewerbe;
        QList<Treffer> treffer;
    };

    // A server that accepts the connection and then never answers would leave
    // a request pending for good; after this long it fails like any other.
    static constexpr int DefaultTransferTimeout = 30000;
    // Largest reply body that is read; a card or the competition list is a
    // few kilobytes, so a bigger body comes from a broken or hostile server
    // and is cut off as a failure (network error 5) instead of filling memory.
    static constexpr qint64 MaxAntwortGroesse = 4 * 1024 * 1024;
    // A login list or a card's competitions beyond these come from a broken
    // server; the rest is left out rather than stalling the window.
    static constexpr int MaxWettkaempfe = 500;
    static constexpr int MaxWettbewerbe = 20;

    explicit ServiceProvider(QObject *parent = nullptr);
    ~ServiceProvider() override;

    void init(const QString &url, const QString &jwt);
    // Certificates trusted beside the system's, for a club server whose
    // certificate the club issued itself. Certificate errors are never
    // ignored; the failure text says what was wrong.
    void setZertifikate(const QList<QSslCertificate> &zertifikate);
    static QString toDatumString(double seconds);

    // The readers of the three reply bodies the client evaluates; lenient,
    // so any body gives a result. Public so they can be fed arbitrary bodies.
    static Scheibe leseScheibe(const QByteArray &body);
    static QList<QPair<quint32, QString>> leseWettkampfe(const QByteArray &body);
    static QString leseLogin(const QByteArray &body); // the new token

    // Every request gets a number, counted from 1. While a reply is being
    // reported, antwortAuftrag() names the request it answers (0 otherwise),
    // so a receiver can tell a late reply from the one it waits for.
    quint32 letzterAuftrag() const { return _auftraege; }
    quint32 antwortAuftrag() const { return _antwort; }

    int transferTimeout() const;
    void setTransferTimeout(int ms); // test seam; DefaultTransferTimeout otherwise

signals:
    void loginOk(const QString &wettkampf, const QString &user);
    void loginFailed(const QString &text);
    void wettkampfe(const QList<QPair<quint32, QString>> &wettkampfe);
    void scheibe(const ServiceProvider::Scheibe &scheibe);
    void setTrefferOk();
    void requestError(const QString &text);
    // Emitted just before requestError when the refused request was a hit
    // submission, so the caller can offer to send the same hits again.
    void setTrefferFailed(quint32 auftrag);
    // Emitted just before requestError when a card fetch failed.
    void scheibeFailed(quint32 auftrag);
    // Before each outcome: whether the server answered at all (with any
    // HTTP status), so a window can show a server that has gone silent.
    void erreichbar(bool antwortet);

public slots:
    void doLogin(quint32 wettkampfId, const QString &wettkampfName, const QString &user,
                 const QString &password);
    void getWettkampfe();
    void getScheibe(quint32 id);
    void setTreffer(quint32 scheibenId, const ServiceProvider::Treffer *treffer, quint32 trefferZahl);
    // The officer stops waiting for request `auftrag`: it fails at once as
    // one the server did not answer, without a box (setTrefferFailed or
    // scheibeFailed only). The server may still have done it.
    void aufgeben(quint32 auftrag);

private:
    QNetworkReply *get(const QString &path);
    QNetworkReply *post(const QString &path, const QByteArray &body);
    QNetworkReply *begrenze(QNetworkReply *reply);
    QByteArray koerper(QNetworkReply *reply); // the whole body, once
    // Marks the reply's request as the one being reported for the life of
    // the returned guard; nested event loops of receivers may report others.
    class Antwort;
    void onLoginFinished(QNetworkReply *reply, const QString &wettkampfName, const QString &user);
    void onWettkampfeFinished(QNetworkReply *reply);
    void onScheibeFinished(QNetworkReply *reply, quint32 id);
    void onTrefferFinished(QNetworkReply *reply);

    QString _url;
    QString _jwt; // configured token, never changed after init
    QNetworkAccessManager _manager;
    QByteArray _authorization; // complete Authorization header value
    // The system's certificates and the club's; made only when the club has
    // some, since a TLS configuration loads the TLS libraries (slower start).
    std::optional<QSslConfiguration> _ssl;
    QHash<QNetworkReply *, QByteArray> _koerper; // bodies as far as they came
    quint32 _auftraege = 0;
    quint32 _antwort = 0;
    int _transferTimeout = DefaultTransferTimeout;
};

Q_DECLARE_METATYPE(ServiceProvider::Treffer)
Q_DECLARE_METATYPE(ServiceProvider::Scheibe)
