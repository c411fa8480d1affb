#pragma once

#include <QList>
#include <QPair>
#include <QTimer>
#include <QWidget>

namespace Ui {
class Login;
}

// The login screen: competition choice, user name, password and the login
// button, which shows a refused login for a few seconds.
class Login : public QWidget
{
    Q_OBJECT

public:
    explicit Login(QWidget *parent = nullptr);
    ~Login() override;

    // How long a login failure stays on the button; tests shorten it.
    static constexpr int fehlerAnzeigeMs = 3000;
    void setFehlerAnzeigeMs(int ms) { _fehlerAnzeigeMs = ms; }

signals:
    void wettkampfRefreshSelected();
    void anmeldenClicked(quint32 wettkampfId, const QString &wettkampfName, const QString &user,
                         const QString &password);

public slots:
    void setWettkampfe(const QList<QPair<quint32, QString>> &wettkampfe);
    void setAnmeldeFehler(const QString &text);

private slots:
    void on_loginButton_clicked();
    void on_wettkampfSelect_currentIndexChanged(int index);
    void onTimeoutExpired();

private:
    Ui::Login *ui;
    QTimer _timer;
    int _fehlerAnzeigeMs = fehlerAnzeigeMs;
};
