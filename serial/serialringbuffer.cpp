#include "serialringbuffer_p.h"

#include <algorithm>
#include <cstring>

SerialRingBuffer::SerialRingBuffer(qint64 bytesPerBlock)
    : blockSize(bytesPerBlock)
{}

void SerialRingBuffer::clear()
{
    // Keep one block: a port that trickles small messages then never allocates.
    while (blocks.size() > 1)
        blocks.pop_back();
    if (!blocks.empty())
        blocks.front().end = 0;
    head = 0;
    total = 0;
}

char *SerialRingBuffer::reserve(qint64 n)
{
    if (n <= 0)
        return nullptr;
    if (blocks.empty() || blocks.back().capacity - blocks.back().end < n) {
        if (total == 0) {
            blocks.clear();
            head = 0;
        }
        Block block;
        block.capacity = std::max(blockSize, n);
        block.data.reset(new char[size_t(block.capacity)]);
        blocks.push_back(std::move(block));
    }
    Block &last = blocks.back();
    char *room = last.data.get() + last.end;
    last.end += n;
    total += n;
    return room;
}

void SerialRingBuffer::chop(qint64 n)
{
    n = std::min(n, total);
    while (n > 0) {
        Block &last = blocks.back();
        const qint64 start = blocks.size() == 1 ? head : 0;
        const qint64 take = std::min(n, last.end - start);
        last.end -= take;
        total -= take;
        n -= take;
        if (last.end == start && blocks.size() > 1)
            blocks.pop_back();
    }
    if (total == 0)
        clear();
}

void SerialRingBuffer::free(qint64 n)
{
    n = std::min(n, total);
    while (n > 0) {
        Block &first = blocks.front();
        const qint64 take = std::min(n, first.end - head);
        head += take;
        total -= take;
        n -= take;
        if (head == first.end && blocks.size() > 1) {
            blocks.pop_front();
            head = 0;
        }
    }
    if (total == 0)
        clear();
}

int SerialRingBuffer::getChar()
{
    if (total == 0)
        return -1;
    const int c = static_cast<unsigned char>(*readPointer());
    free(1);
    return c;
}

const char *SerialRingBuffer::readPointer() const
{
    return total == 0 ? nullptr : blocks.front().data.get() + head;
}

qint64 SerialRingBuffer::nextDataBlockSize() const
{
    return total == 0 ? 0 : blocks.front().end - head;
}

qint64 SerialRingBuffer::read(char *data, qint64 maxSize)
{
    qint64 done = 0;
    while (done < maxSize && total > 0) {
        const qint64 n = std::min(maxSize - done, nextDataBlockSize());
        std::memcpy(data + done, readPointer(), size_t(n));
        free(n);
        done += n;
    }
    return done;
}

void SerialRingBuffer::append(const char *data, qint64 size)
{
    while (size > 0) {
        qint64 room = 0;
        if (!blocks.empty())
            room = blocks.back().capacity - blocks.back().end;
        const qint64 n = room > 0 ? std::min(room, size) : std::min(blockSize, size);
        std::memcpy(reserve(n), data, size_t(n));
        data += n;
        size -= n;
    }
}

qint64 SerialRingBuffer::indexOf(char c) const
{
    qint64 offset = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const qint64 start = i == 0 ? head : 0;
        const char *begin = blocks[i].data.get() + start;
        const qint64 length = blocks[i].end - start;
        if (const void *hit = std::memchr(begin, c, size_t(length)))
            return offset + (static_cast<const char *>(hit) - begin);
        offset += length;
    }
    return -1;
}
