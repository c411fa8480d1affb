#include "forms/login.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class TestLogin : public QObject
{
    Q_OBJECT

private:
    struct Form
    {
        Login login;
        QComboBox *select = login.findChild<QComboBox *>(QStringLiteral("wettkampfSelect"));
        QLineEdit *user = login.findChild<QLineEdit *>(QStringLiteral("userEdit"));
        QLineEdit *password = login.findChild<QLineEdit *>(QStringLiteral("passwordEdit"));
        QPushButton *button = login.findChild<QPushButton *>(QStringLiteral("loginButton"));
    };

private slots:
    void setWettkampfeRebuildsWithoutReload()
    {
        Form f;
        QSignalSpy refresh(&f.login, &Login::wettkampfRefreshSelected);
        f.select->setCurrentIndex(1);
        QCOMPARE(refresh.count(), 1);
        // The list request failed: nothing rebuilt the choice, and choosing the
        // same entry again is no index change.
        f.select->setCurrentIndex(1);
        QCOMPARE(refresh.count(), 1);
        f.select->setCurrentIndex(0);
        f.select->setCurrentIndex(1);
        QCOMPARE(refresh.count(), 2);

        // The list arrives while the reload entry is chosen: no new reload.
        f.login.setWettkampfe(
            { { 7, "Kreismeisterschaft" }, { 3, "Rundenwettkampf" }, { 7, "Kreismeisterschaft" } });
        QCOMPARE(refresh.count(), 2);
        QCOMPARE(f.select->count(), 5);
        QCOMPARE(f.select->currentIndex(), 0);
        QCOMPARE(f.select->itemData(3).toUInt(), 7u); // duplicates stay
        QCOMPARE(f.select->itemText(4), QStringLiteral("Wettkampfliste neu laden..."));
    }

    void loginButtonSendsWhatWasTyped()
    {
        Form f;
        f.login.setWettkampfe({ { 1, "Kreis" }, { 4000000000u, "Liga" } });
        f.select->setCurrentIndex(2);
        QTest::keyClicks(f.user, "aufsicht");
        QTest::keyClicks(f.password, "gEh3im");
        QCOMPARE(f.password->echoMode(), QLineEdit::Password);
        QSignalSpy anmelden(&f.login, &Login::anmeldenClicked);
        QTest::mouseClick(f.button, Qt::LeftButton);
        QCOMPARE(anmelden.count(), 1);
        QCOMPARE(anmelden.at(0), (QVariantList { 4000000000u, "Liga", "aufsicht", "gEh3im" }));
        QVERIFY(!f.button->isEnabled());
    }

    void failureShowsOnTheButtonUntilTheTimerRuns()
    {
        Form f;
        f.login.setFehlerAnzeigeMs(200);
        QTest::mouseClick(f.button, Qt::LeftButton);
        f.login.setAnmeldeFehler(QStringLiteral("Login fehlgeschlagen (204:401)"));
        QTest::qWait(120);
        // A second failure restarts the display.
        f.login.setAnmeldeFehler(QStringLiteral("zweiter Fehler"));
        QTest::qWait(120);
        QCOMPARE(f.button->text(), QStringLiteral("zweiter Fehler"));
        QVERIFY(!f.button->isEnabled());
        QTRY_COMPARE(f.button->text(), QStringLiteral("Anmelden"));
        QVERIFY(f.button->isEnabled());
    }
};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
