#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

#include <deque>

// Messages waiting for the broker, oldest first, each numbered by a sequence number that never
// repeats. Bounded by a message count and a byte count; a message that does not fit pushes out
// the oldest, which are counted as dropped. Payloads are packed into one byte store and topics
// are kept once each, so a day of readings costs little more than its payload bytes.
class MessageQueue
{
public:
    struct Message
    {
        QByteArray topic;
        QByteArray payload;
        int qos = 1;
    };

    MessageQueue(qsizetype maxMessages, qsizetype maxBytes);

    // False when the message could not be kept at all: larger than the whole byte limit, or a
    // topic beyond the 65536 a queue tells apart (a client publishes to a handful).
    bool push(const Message &message);
    void popFront();
    // firstSeq() <= seq < endSeq()
    Message at(quint64 seq) const;

    quint64 firstSeq() const { return m_first; }
    quint64 endSeq() const { return m_first + quint64(m_entries.size()); }
    qsizetype size() const { return qsizetype(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }
    // Memory the queue holds for its messages, bookkeeping included.
    qsizetype bytes() const;
    // Messages pushed out by newer ones since the queue was made.
    quint64 dropped() const { return m_dropped; }

private:
    struct Entry
    {
        quint64 offset; // of the payload in the byte store, counted from its very first byte
        quint32 size;
        quint16 topic;
        quint8 qos;
    };

    // The topic's number, or -1 when there is no room for another.
    int intern(const QByteArray &topic);

    qsizetype m_maxMessages;
    qsizetype m_maxBytes;
    std::deque<Entry> m_entries;
    std::deque<char> m_data;
    quint64 m_dataStart = 0; // offset of m_data.front()
    quint64 m_first = 0;
    quint64 m_dropped = 0;
    QList<QByteArray> m_topics;
    QHash<QByteArray, quint16> m_topicIndex;
};
