#pragma once

#include <QString>

// True for "localhost" and names ending in ".localhost", in any ASCII case, with or without a
// final dot: the loopback addresses by RFC 6761 §6.3, whatever a resolver would say.
bool isLoopbackName(const QString &host);
