#include "nativeserialengine.h"

#include "nativeserialengine_p.h"
#include "nativeserialenginebase_impl_p.h"
#include "nativeserialnotifier.h"

#ifdef GRELVIX_WIN32_STANDIN
namespace Win32StandIn {
#endif

NativeSerialEngine::NativeSerialEngine(QObject *parent)
    : NativeSerialEngineBase(new NativeSerialEnginePrivate(this), parent)
{}

NativeSerialEngine::~NativeSerialEngine()
{
    d_func()->nativeClose();
}

void NativeSerialEnginePrivate::createNotifier()
{
    notifier = new NativeSerialNotifier(q, this);
}

void NativeSerialEnginePrivate::releaseNotifier()
{
    delete notifier;
    notifier = nullptr;
}

#ifdef GRELVIX_WIN32_STANDIN
} // namespace Win32StandIn
#endif

#ifdef GRELVIX_WIN32_STANDIN
template class NativeSerialEngineBase<Win32StandIn::NativeSerialEnginePrivate>;
#else
template class NativeSerialEngineBase<NativeSerialEnginePrivate>;
#endif
