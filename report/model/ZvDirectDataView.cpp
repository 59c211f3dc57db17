#include "report/model/ZvDirectDataView.h"

#include "platform/forms/MessageService.h"
#include "platform/os/SharedObjects.h"
#include "report/print/QpDefine.h"

uint32_t GainControlTimeoutMs = 5000;
TZarvDataSystem* DataSystem = nullptr;

namespace {

// Frees the data system still there when the program ends. It is made after
// the first objects are opened, so that it goes before the registry of
// shared objects does.
struct TDataSystemFinalizer {
    ~TDataSystemFinalizer() { delete DataSystem; }
};

} // namespace

TZarvDataSystem::TZarvDataSystem()
{
    FNormFileMap = OpenSharedMemory(QStringLiteral("ZARVBUFFER"), kZarvBufferSize);
    // A block made elsewhere with a smaller size would be written past its
    // end.
    if (NamedMemorySize(FNormFileMap) < kZarvBufferSize) {
        CloseSharedMemory(FNormFileMap, nullptr);
        throw EOSError(QStringLiteral("The data channel buffer ZARVBUFFER is too small"), 0);
    }
    FNormFileBuf = static_cast<uint8_t*>(MapSharedMemory(FNormFileMap));
    if (!FNormFileBuf) {
        CloseSharedMemory(FNormFileMap, nullptr);
        throw EOSError(QStringLiteral("The data channel buffer ZARVBUFFER cannot be mapped"), 0);
    }
    FControllerMutex = OpenSharedMutex(QStringLiteral("ZARVCONTROLER"));
    FCompletedEvent = OpenSharedEvent(QStringLiteral("ZARVCOMPLETED"));
    FErrorEvent = OpenSharedEvent(QStringLiteral("ZARVERROR"));
    static TDataSystemFinalizer finalizer;
}

TZarvDataSystem::~TZarvDataSystem()
{
    CloseSharedMemory(FNormFileMap, FNormFileBuf);
    CloseSharedMutex(FControllerMutex);
    CloseSharedEvent(FCompletedEvent);
    CloseSharedEvent(FErrorEvent);
    if (DataSystem == this)
        DataSystem = nullptr;
}

bool TZarvDataSystem::GainControl()
{
    if (FControlCount > 0) {
        ++FControlCount;
        return true;
    }
    for (;;) {
        // A mutex whose holder died comes as abandoned and is held once, as
        // any other.
        const TWaitResult result = WaitNamedObject(FControllerMutex, GainControlTimeoutMs);
        if (result == TWaitResult::wrSignaled || result == TWaitResult::wrAbandoned) {
            ++FControlCount;
            return true;
        }
        const int answer = ShowMessageBox(
            Translate(QStringLiteral("Unable to gain control of ZARV Data Communication System.")),
            Translate(QStringLiteral("Error")), TMsgIcon::Error, TMsgButtons::RetryCancel);
        if (answer != IDRETRY)
            return false;
    }
}

void TZarvDataSystem::ReleaseControl()
{
    --FControlCount;
    if (FControlCount < 0) {
        FControlCount = 0;
        RaiseError(Translate(QStringLiteral("Control count underflow on ReleaseControl")));
    }
    if (FControlCount == 0)
        ReleaseNamedMutex(FControllerMutex);
}
