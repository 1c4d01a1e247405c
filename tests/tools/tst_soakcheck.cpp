// The soak's log check on small made-up runs of two devices, one cycle a second.
#include "soakcheck.h"

#include <QTest>

#include <cmath>

using namespace SoakCheck;

Q_DECLARE_METATYPE(SoakCheck::Input)

namespace {
const float none = std::nanf("");

// Cycle c asks device 0 at 1000c ms and device 1 at 1000c + 45 ms; a device that answers does
// so 2 ms later with tenths 10c + device, 10c + device + 5. The record follows at 1000c + 100
// ms and logs what each device answered. Of `silent` (10c + device) that device asks 21 times
// without an answer; of `cut` it answers in 50 ms, one byte at a time, and is asked again
// meanwhile. Both are logged without a reading.
Input run(int cycles, const QList<int> &silent = {}, const QList<int> &cut = {})
{
    Input in;
    in.devices = 2;
    in.endMs = 1000 * cycles + 500;
    for (int c = 0; c < cycles; ++c) {
        Record record{1000 * c + 100, 1000 * c + 75, quint32(c), {}};
        for (int device = 0; device < 2; ++device) {
            const qint64 at = 1000 * c + 45 * device;
            const qint16 first = qint16(10 * c + device);
            const int which = 10 * c + device;
            in.requests.append({at, device});
            const int asked = int(in.requests.size());
            if (silent.contains(which) || cut.contains(which)) {
                for (int i = 1; i < 21; ++i)
                    in.requests.append({at + i, device});
                record.values << none << none;
                if (cut.contains(which))
                    in.answers.append({at + 50, device, first, qint16(first + 5), true,
                                       int(in.requests.size()), asked});
                continue;
            }
            in.answers.append({at + 2, device, first, qint16(first + 5), true, asked, asked});
            record.values << first / 10.0f << (first + 5) / 10.0f;
        }
        in.records.append(record);
    }
    return in;
}
} // namespace

class TestSoakCheck : public QObject
{
    Q_OBJECT

private slots:
    void check_data()
    {
        QTest::addColumn<Input>("input");
        QTest::addColumn<int>("mismatches");
        QTest::addColumn<int>("noReadings");

        QTest::newRow("all answered") << run(3) << 0 << 0;
        QTest::newRow("silent device logged without reading") << run(3, {11}) << 0 << 2;

        Input stale = run(3, {11});
        stale.records[1].values[2] = stale.records[0].values[2];
        stale.records[1].values[3] = stale.records[0].values[3];
        QTest::newRow("last reading repeated") << stale << 1 << 0;

        Input lost = run(3);
        lost.records[1].values[2] = lost.records[1].values[3] = none;
        QTest::newRow("answer not logged") << lost << 1 << 2;

        Input invented = run(3);
        invented.records[2].values[0] = 99.9f;
        // and the answer really sent is missing.
        QTest::newRow("value never sent") << invented << 2 << 0;

        QTest::newRow("answer cut by the next request") << run(3, {}, {11}) << 0 << 2;

        Input corrupt = run(3);
        corrupt.answers[1].intact = false;
        corrupt.records[0].values[2] = corrupt.records[0].values[3] = none;
        QTest::newRow("bad check bytes") << corrupt << 0 << 2;
    }
    void check()
    {
        QFETCH(Input, input);
        QFETCH(int, mismatches);
        QFETCH(int, noReadings);
        const Result result = SoakCheck::check(input);
        QCOMPARE(result.mismatches, mismatches);
        QCOMPARE(result.noReadings, noReadings);
        QVERIFY(result.gapsWithinGoal);
    }

    void recordsMoreThanAPeriodApartMissTheGoal()
    {
        Input in = run(4);
        // The fourth cycle starts two periods after the third record.
        for (Request &request : in.requests)
            request.ms += request.ms >= 3000 ? 2000 : 0;
        for (Answer &answer : in.answers)
            answer.ms += answer.ms >= 3000 ? 2000 : 0;
        in.records[3].ms += 2000;
        in.records[3].afterMs += 2000;
        in.endMs += 2000;
        const Result result = SoakCheck::check(in);
        QCOMPARE(result.mismatches, 0);
        QVERIFY(!result.gapsWithinGoal);
        QCOMPARE(result.worstGapMs, 3000);
        QCOMPARE(result.longestGapMs[0], 3000);
    }
};

QTEST_MAIN(TestSoakCheck)
#include "tst_soakcheck.moc"
