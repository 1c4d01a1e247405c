// The MQTT queue holding a day of readings: 12 channels every second for 24 h, as the station
// queues them while the broker is away. Prints the memory it takes (goal: well under the
// 256 MiB limit) and how fast it fills and drains.
// Usage: bench_mqttqueue
#include "messagequeue.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

int main()
{
    constexpr qsizetype channels = 12;
    constexpr qsizetype day = 24 * 3600;
    MessageQueue queue(channels * day * 11 / 10, qsizetype(256) << 20);
    const qint64 start = 1718000000;

    QElapsedTimer clock;
    clock.start();
    qsizetype payloadBytes = 0;
    for (qsizetype second = 0; second < day; ++second) {
        for (qsizetype n = 0; n < channels; ++n) {
            const QJsonObject reading{{QStringLiteral("time"), start + second},
                                      {QStringLiteral("value"), 20.0 + double(second % 300) / 10},
                                      {QStringLiteral("name"), QStringLiteral("Сушилка")},
                                      {QStringLiteral("alarm"), false}};
            const QByteArray payload = QJsonDocument(reading).toJson(QJsonDocument::Compact);
            payloadBytes += payload.size();
            queue.push({"grelvix/hall/T" + QByteArray::number(n), payload, 1});
        }
    }
    const double fillMs = double(clock.elapsed());
    std::printf("a day of 12 channels at 1 s: %lld messages, %lld payload bytes, queue holds "
                "%.1f MiB (%.1f bytes a message), dropped %llu\n",
                static_cast<long long>(queue.size()), static_cast<long long>(payloadBytes),
                double(queue.bytes()) / (1 << 20), double(queue.bytes()) / double(queue.size()),
                static_cast<unsigned long long>(queue.dropped()));

    clock.restart();
    qsizetype drained = 0;
    while (!queue.isEmpty()) {
        drained += queue.at(queue.firstSeq()).payload.size();
        queue.popFront();
    }
    std::printf("filled in %.0f ms (JSON included), read and drained in %lld ms (%lld bytes)\n",
                fillMs, static_cast<long long>(clock.elapsed()), static_cast<long long>(drained));
    return 0;
}
