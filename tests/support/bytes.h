#pragma once

#include <QByteArray>

#include <initializer_list>

// Bytes written as numbers, the way frames are written down: bytes({0x05, 0x03, 0x04}).
inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}
