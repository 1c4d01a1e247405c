#pragma once

#include "nativeserialenginebase_p.h"

#ifdef GRELVIX_WIN32_STANDIN
namespace Win32StandIn {
#endif

class NativeSerialEnginePrivate;

// The engine for Windows: a COM port opened as an overlapped file, set through its
// control block and time-outs, watched through WaitCommEvent.
class NativeSerialEngine : public NativeSerialEngineBase<NativeSerialEnginePrivate>
{
    Q_OBJECT

public:
    explicit NativeSerialEngine(QObject *parent = nullptr);
    ~NativeSerialEngine() override;
};

#ifdef GRELVIX_WIN32_STANDIN
} // namespace Win32StandIn
#endif
