#pragma once

#include <QtGlobal>

#include <deque>
#include <memory>

// Bytes queued between the port and the reader or writer, kept as a list of
// fixed-size blocks so that growing never moves what is already stored.
class SerialRingBuffer
{
public:
    explicit SerialRingBuffer(qint64 blockSize = 16384);

    qint64 size() const { return total; }
    bool isEmpty() const { return total == 0; }
    void clear();

    // Contiguous room for n bytes at the end, counted as stored at once.
    char *reserve(qint64 n);
    // Drops n bytes from the end (the unused part of a reservation).
    void chop(qint64 n);
    // Drops n bytes from the front (consumed by the reader).
    void free(qint64 n);

    int getChar();
    const char *readPointer() const;
    qint64 nextDataBlockSize() const;
    qint64 read(char *data, qint64 maxSize);
    void append(const char *data, qint64 size);
    qint64 indexOf(char c) const;

private:
    struct Block
    {
        std::unique_ptr<char[]> data;
        qint64 capacity = 0;
        qint64 end = 0;
    };

    qint64 blockSize;
    std::deque<Block> blocks;
    qint64 head = 0;
    qint64 total = 0;
};
