#include "gauges/Ugaugesclasses.h"

#include "app/Uappclasses.h"
#include "gauges/Ucalibreselect.h"
#include "gauges/Ucalcfamilies.h"
#include "gauges/Ucalibreselect2.h"
#include "gauges/Ugasselclass.h"
#include "gauges/Uinstol.h"
#include "gauges/Uinsuns.h"
#include "gauges/Unpdia.h"
#include "gauges/Uprocess.h"
#include "gauges/Uprocess2.h"
#include "gauges/Utwbr.h"
#include "gauges/Utwsca.h"
#include "gauges/Utwwhitworth.h"
#include "gauges/Uwansiasme1.h"
#include "platform/objects/ClassRegistry.h"

void RegisterGaugesClasses()
{
    RegisterAppClasses();
    RegisterWindow<TfNPDia>("TfNPDia");
    RegisterWindow<TfGasSelClass>("TfGasSelClass");
    RegisterWindow<TfInsTol>("TfInsTol");
    RegisterWindow<TfCalibreSelect>("TfCalibreSelect");
    RegisterWindow<TfProcess>("TfProcess");
    RegisterWindow<TfCalibreSelect2>("TfCalibreSelect2");
    RegisterWindow<TfInsUNS>("TfInsUNS");
    RegisterWindow<TfwAnsiAsme1>("TfwAnsiAsme1");
    RegisterWindow<TfTwSCA>("TfTwSCA");
    RegisterWindow<TfTwWhitworth>("TfTwWhitworth");
    RegisterWindow<TfTwBR>("TfTwBR");
    RegisterWindow<TfProcess2>("TfProcess2");
    // The process windows' calculation roads of the families beyond ISO.
    InstallFamilyCalculations();
}
