#include "messagequeue.h"

#include <algorithm>

MessageQueue::MessageQueue(qsizetype maxMessages, qsizetype maxBytes)
    : m_maxMessages(qMax<qsizetype>(1, maxMessages))
    , m_maxBytes(maxBytes)
{}

qsizetype MessageQueue::bytes() const
{
    return qsizetype(m_data.size() + m_entries.size() * sizeof(Entry));
}

int MessageQueue::intern(const QByteArray &topic)
{
    const auto found = m_topicIndex.constFind(topic);
    if (found != m_topicIndex.cend())
        return *found;
    if (m_topics.size() > 0xffff)
        return -1;
    const quint16 index = quint16(m_topics.size());
    m_topics.append(topic);
    m_topicIndex.insert(topic, index);
    return index;
}

bool MessageQueue::push(const Message &message)
{
    const qsizetype needed = message.payload.size() + qsizetype(sizeof(Entry));
    const int topic = intern(message.topic);
    if (needed > m_maxBytes || topic < 0)
        return false;
    while (!m_entries.empty() && (size() >= m_maxMessages || bytes() + needed > m_maxBytes)) {
        popFront();
        ++m_dropped;
    }
    const Entry entry{m_dataStart + m_data.size(), quint32(message.payload.size()), quint16(topic),
                      quint8(message.qos)};
    m_data.insert(m_data.end(), message.payload.cbegin(), message.payload.cend());
    m_entries.push_back(entry);
    return true;
}

void MessageQueue::popFront()
{
    if (m_entries.empty())
        return;
    const Entry &front = m_entries.front();
    m_data.erase(m_data.begin(), m_data.begin() + qsizetype(front.size));
    m_dataStart += front.size;
    m_entries.pop_front();
    ++m_first;
}

MessageQueue::Message MessageQueue::at(quint64 seq) const
{
    if (seq < m_first || seq >= endSeq())
        return {};
    const Entry &entry = m_entries[size_t(seq - m_first)];
    const auto begin = m_data.begin() + qsizetype(entry.offset - m_dataStart);
    QByteArray payload(qsizetype(entry.size), Qt::Uninitialized);
    std::copy(begin, begin + qsizetype(entry.size), payload.begin());
    return {m_topics.value(entry.topic), payload, entry.qos};
}
