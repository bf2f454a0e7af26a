#pragma once

// Reading what the recording stand-in wrote, for the tests that start it.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <QTest>

inline QList<QJsonObject> readRecords(const QString &dir)
{
    QList<QJsonObject> records;
    const QStringList names = QDir(dir).entryList({ QStringLiteral("*.json") }, QDir::Files);
    for (const QString &name : names) {
        QFile file(dir + u'/' + name);
        if (file.open(QIODevice::ReadOnly))
            records.append(QJsonDocument::fromJson(file.readAll()).object());
    }
    return records;
}

inline int recordCount(const QString &dir)
{
    return int(QDir(dir).entryList({ QStringLiteral("*.json") }, QDir::Files).size());
}

// Waits, with a bound, until the stand-in has written `count` records.
inline QList<QJsonObject> waitForRecords(const QString &dir, int count, int timeoutMs = 60000)
{
    QDeadlineTimer deadline(timeoutMs);
    QList<QJsonObject> records = readRecords(dir);
    while (records.size() < count && !deadline.hasExpired()) {
        QTest::qWait(20);
        records = readRecords(dir);
    }
    return records;
}

inline QStringList recordedArguments(const QJsonObject &record)
{
    QStringList arguments;
    for (const QJsonValue &value : record.value(QStringLiteral("arguments")).toArray())
        arguments.append(value.toString());
    return arguments;
}
