#pragma once
// Reads back "quex.log", written by the quex stand-in: one record per run.

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QList>
#include <QThread>

struct StandinRecord {
    qint64 pid = 0;
    QList<QByteArray> args; // decoded, byte for byte as the stand-in received them
};

// Only complete lines count: a run still writing is not a record yet.
inline QList<StandinRecord> parseStandinLog(const QByteArray &log)
{
    QList<StandinRecord> records;
    const qsizetype end = log.lastIndexOf('\n');
    if (end < 0)
        return records;
    for (const QByteArray &line : log.left(end).split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        StandinRecord record;
        record.pid = fields.front().toLongLong();
        for (qsizetype i = 1; i < fields.size(); ++i)
            record.args << QByteArray::fromPercentEncoding(fields.at(i));
        records << record;
    }
    return records;
}

inline QList<StandinRecord> readStandinLog(const QString &path = QStringLiteral("quex.log"))
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseStandinLog(file.readAll());
}

// Polls until the log holds at least `count` records or the time is up;
// returns what it holds then.
inline QList<StandinRecord> waitForStandinLog(qsizetype count, const QString &path = QStringLiteral("quex.log"),
                                              int timeoutMs = 20000)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        QList<StandinRecord> records = readStandinLog(path);
        if (records.size() >= count || deadline.hasExpired())
            return records;
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
}

// The arguments of every run logged, once at least `count` are there (or the
// time is up): one list per run.
inline QList<QList<QByteArray>> standinArguments(qsizetype count = 1)
{
    QList<QList<QByteArray>> runs;
    for (const StandinRecord &record : waitForStandinLog(count))
        runs << record.args;
    return runs;
}
