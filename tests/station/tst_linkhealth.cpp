// The link counts, fed scripted sequences of what the station does and sees: "5?" a request to
// address 5, "5!" its valid answer, "~" bytes that arrived after the last request, "5x" the
// station giving 5 up, "reset" a new search.
#include "linkhealth.h"

#include <QTest>

namespace {
QString repeat(const QString &events, int times)
{
    return (events + QLatin1Char(' ')).repeated(times);
}

struct Outcome
{
    QString counts; // "address:requests/answers/check failures/missing" per device, in order
    int rate = 0;
    QString silences; // addresses reported silent, in order
};

Outcome play(const QString &script)
{
    LinkHealth health;
    Outcome out;
    const QDateTime at(QDate(2024, 3, 1), QTime(12, 0));
    QStringList silences;
    for (const QString &event : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const quint8 address = quint8(event.chopped(1).toUInt());
        bool silent = false;
        if (event == QLatin1String("reset"))
            health.reset();
        else if (event == QLatin1String("~"))
            health.bytesArrived();
        else if (event.endsWith(QLatin1Char('?')))
            silent = health.requestSent(address);
        else if (event.endsWith(QLatin1Char('!')))
            health.answered(address, at);
        else if (event.endsWith(QLatin1Char('x')))
            silent = health.timedOut(address);
        else
            qFatal("unknown event %s", qPrintable(event));
        if (silent)
            silences << QString::number(address);
    }
    QStringList counts;
    for (const LinkHealth::Device &d : health.devices()) {
        counts << QStringLiteral("%1:%2/%3/%4/%5")
                      .arg(d.address)
                      .arg(d.requests)
                      .arg(d.answers)
                      .arg(d.checkFailures)
                      .arg(d.missing);
        if (d.answers > 0 && d.lastAnswer != at)
            counts << QStringLiteral("wrong time");
    }
    out.counts = counts.join(QLatin1Char(' '));
    out.rate = health.answerRate();
    out.silences = silences.join(QLatin1Char(' '));
    return out;
}
} // namespace

class TestLinkHealth : public QObject
{
    Q_OBJECT

private slots:
    void scripted_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("counts");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("silences");

        const QString silence = repeat(QStringLiteral("7?"), 21) + QStringLiteral("7x ");
        QTest::newRow("both answer") << "5? 5! 7? 7!"
                                     << "5:1/1/0/0 7:1/1/0/0" << 100 << "";
        QTest::newRow("in flight is not settled") << "5? 5! 7?"
                                                  << "5:1/1/0/0 7:1/0/0/0" << 100 << "";
        QTest::newRow("missing at the next request") << "5? 5? 5!"
                                                     << "5:2/1/0/1" << 50 << "";
        QTest::newRow("split answer is one answer") << "5? ~ ~ 5!"
                                                    << "5:1/1/0/0" << 100 << "";
        QTest::newRow("bytes without an answer fail the check") << "5? ~ 5? 5!"
                                                                << "5:2/1/1/1" << 50 << "";
        QTest::newRow("bytes belong to the last request") << "5? 7? ~ 7x 5x"
                                                          << "5:1/0/0/1 7:1/0/1/1" << 0 << "";
        QTest::newRow("rounded down") << "5? 5! 5? 5! 5? 5x"
                                      << "5:3/2/0/1" << 66 << "";
        QTest::newRow("one silence, one report")
            << QStringLiteral("5? 5! ") + silence << "5:1/1/0/0 7:21/0/0/21" << 4 << "7";
        QTest::newRow("twenty are no silence")
            << repeat(QStringLiteral("7?"), 20) + QStringLiteral("7x") << "7:20/0/0/20" << 0 << "";
        QTest::newRow("still silent next cycle: no second report")
            << silence + silence << "7:42/0/0/42" << 0 << "7";
        QTest::newRow("noticed at the next request without a time-out")
            << repeat(QStringLiteral("7?"), 22) << "7:22/0/0/21" << 0 << "7";
        QTest::newRow("silent again after an answer")
            << silence + QStringLiteral("7? 7! ") + silence << "7:43/1/0/42" << 2 << "7 7";
        QTest::newRow("rate over the last hundred")
            << repeat(QStringLiteral("5? 5!"), 100) + repeat(QStringLiteral("5? 5x"), 50)
            << "5:150/100/0/50" << 50 << "5";
        QTest::newRow("reset forgets counts and the request in flight") << "5? 5! 7? reset 7! 5? 5!"
                                                                        << "5:1/1/0/0" << 100 << "";
    }

    void scripted()
    {
        QFETCH(QString, script);
        const Outcome out = play(script);
        QTEST(out.counts, "counts");
        QTEST(out.rate, "rate");
        QTEST(out.silences, "silences");
    }
};

QTEST_APPLESS_MAIN(TestLinkHealth)
#include "tst_linkhealth.moc"
