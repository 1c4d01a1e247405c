#include "answerassembler.h"

#include "modbus.h"

QByteArray AnswerAssembler::add(const QByteArray &bytes)
{
    pending.append(bytes);
    if (pending.size() > MaxBytes)
        pending.remove(0, pending.size() - MaxBytes);

    // Longest candidate first: everything since the request is the frame in the normal case.
    for (qsizetype start = 0; start + 4 <= pending.size(); ++start) {
        if (Modbus::hasValidCrc(pending.constData() + start, pending.size() - start)) {
            const QByteArray frame = pending.mid(start);
            pending.clear();
            return frame;
        }
    }
    return {};
}
