#include "benchapp.h"

#include <QDeadlineTimer>
#include <QFile>
#ifndef KOVRIT_BENCH_BARE
#include <QNetworkReply>
#endif
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

bool fertig(QIODevice *reply)
{
#ifndef KOVRIT_BENCH_BARE
    return static_cast<QNetworkReply *>(reply)->isFinished();
#else
    Q_UNUSED(reply)
    return false;
#endif
}

} // namespace

BenchApp::BenchApp(int &argc, char **argv)
    : QApplication(argc, argv)
{ }

qint64 BenchApp::now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool BenchApp::notify(QObject *receiver, QEvent *event)
{
    const QEvent::Type type = event->type();
    // A frame: the window's expose or the update request that repaints every
    // dirty widget of a window and flushes the backing store.
    const bool frame = type == QEvent::Expose
        || (type == QEvent::UpdateRequest && receiver->isWidgetType()
            && static_cast<QWidget *>(receiver)->isWindow());
#ifndef KOVRIT_BENCH_BARE
    QNetworkReply *reply = qobject_cast<QNetworkReply *>(receiver);
#else
    QIODevice *reply = nullptr; // the bare floor has no network
#endif
    QPointer<QIODevice> replyPtr = reply;
    const bool replyWasFinished = reply && fertig(reply);
    const qint64 start = reply ? now() : 0;

    if (frame)
        ++_frameDepth;
    const bool r = QApplication::notify(receiver, event);
    if (frame)
        --_frameDepth;

    if (type == QEvent::Paint)
        _paintedInFrame.append(receiver);
    if (_frameDepth == 0 && !_paintedInFrame.isEmpty()) {
        const qint64 t = now();
        for (const QObject *o : std::as_const(_paintedInFrame)) {
            QList<qint64> &zeiten = _paintedAt[o];
            if (zeiten.isEmpty() || zeiten.last() != t)
                zeiten.append(t);
            if (zeiten.size() > 16)
                zeiten.removeFirst();
        }
        _paintedInFrame.clear();
    }
    if (reply && !replyWasFinished && replyPtr && fertig(replyPtr))
        _replyFinishedAt = start;
    return r;
}

qint64 BenchApp::paintedAt(const QObject *widget) const
{
    const QList<qint64> zeiten = _paintedAt.value(widget);
    return zeiten.isEmpty() ? 0 : zeiten.last();
}

qint64 BenchApp::paintedAfter(const QObject *widget, qint64 seit) const
{
    for (const qint64 t : _paintedAt.value(widget)) {
        if (t > seit)
            return t;
    }
    return 0;
}

bool BenchApp::pumpUntil(const std::function<bool()> &cond, int timeoutMs)
{
    // Sleeps until the next event: processEvents with a time limit drops
    // WaitForMoreEvents and would poll without pause, and a harness that
    // spins takes the time slices a busy neighbour leaves to the client.
    // The timer wakes the wait at the deadline.
    QDeadlineTimer deadline(timeoutMs);
    QTimer wecker;
    wecker.setSingleShot(true);
    wecker.start(timeoutMs);
    while (!cond()) {
        if (deadline.hasExpired())
            return false;
        processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double median(QList<double> values)
{
    return percentile(std::move(values), 50.0);
}

double percentile(QList<double> values, double p)
{
    if (values.isEmpty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const qsizetype i = std::min(values.size() - 1, qsizetype(p / 100.0 * double(values.size())));
    return values.at(i);
}

void result(const char *name, const QString &figure, const QString &floor, const QString &goal, bool met)
{
    std::printf("RESULT|%s|%s|%s|%s|%s\n", name, qPrintable(figure),
                qPrintable(floor.isEmpty() ? "-" : floor), qPrintable(goal), met ? "met" : "MISSED");
    std::fflush(stdout);
}

static qint64 statusKiB(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray k(key);
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(k))
            return line.mid(k.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

qint64 peakRssKiB()
{
    return statusKiB("VmHWM:");
}

qint64 rssKiB()
{
    return statusKiB("VmRSS:");
}
