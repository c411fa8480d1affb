#pragma once

#include <QApplication>
#include <QHash>
#include <QList>
#include <QSet>

#include <functional>

// Application object of the benchmarks. It watches every event on its way
// through notify, so a benchmark can tell when a widget has been painted and
// the frame that painted it is finished, and when a network reply finished,
// without any hook inside the client.
class BenchApp : public QApplication
{
public:
    BenchApp(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // Monotonic clock in ns; the same clock in every process of the machine.
    static qint64 now();

    // End (ns) of the last finished frame that painted the object; 0 if none.
    qint64 paintedAt(const QObject *widget) const;
    // End (ns) of the first frame finished after `seit` that painted the
    // object; 0 if none yet. What the eye sees first: one pass of the event
    // loop can run a later frame that paints the object again.
    qint64 paintedAfter(const QObject *widget, qint64 seit) const;
    // Start (ns) of the event delivery during which the last network reply
    // finished; 0 if none yet.
    qint64 replyFinishedAt() const { return _replyFinishedAt; }

    // Processes events until cond is true or timeoutMs passed; true on cond.
    bool pumpUntil(const std::function<bool()> &cond, int timeoutMs = 10000);

private:
    int _frameDepth = 0;
    QList<const QObject *> _paintedInFrame;
    QHash<const QObject *, QList<qint64>> _paintedAt; // frame ends, the latest few
    qint64 _replyFinishedAt = 0;
};

// Median and percentile of a sample (sorted copy).
double median(QList<double> values);
double percentile(QList<double> values, double p);
// Prints one result line that scripts/bench.sh collects into its table.
void result(const char *name, const QString &figure, const QString &floor, const QString &goal, bool met);
// Peak and current resident set size of this process in KiB (VmHWM, VmRSS).
qint64 peakRssKiB();
qint64 rssKiB();
