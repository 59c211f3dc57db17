#include "report/model/ZvSecurity.h"

#include "platform/objects/ClassRegistry.h"
#include "platform/objects/TypInfo.h"
#include "platform/rtl/StringRoutines.h"
#include "report/model/ZvData.h"
#include "report/model/ZvDefine.h"

namespace {

void RegisterSecurityClasses()
{
    if (FindClass(QStringLiteral("TZarvBaseSecurity")))
        return;
    RegisterClass<TZarvBaseSecurity>(QStringLiteral("TZarvBaseSecurity"), QStringLiteral("TZarvDataObject"));
    TClassInfo& simple = RegisterClass<TZarvSimpleSecurity>(QStringLiteral("TZarvSimpleSecurity"),
                                                            QStringLiteral("TZarvBaseSecurity"));
    PublishProperty(simple, QStringLiteral("CaseMatters"), TypeInfoBoolean(),
                    &TZarvSimpleSecurity::CaseMatters, &TZarvSimpleSecurity::SetCaseMatters);
    PublishProperty(simple, QStringLiteral("UserList"), TypeInfoClass(QStringLiteral("TStrings")),
                    &TZarvSimpleSecurity::UserList, &TZarvSimpleSecurity::SetUserList);
    TClassInfo& lookup = RegisterClass<TZarvLookupSecurity>(QStringLiteral("TZarvLookupSecurity"),
                                                            QStringLiteral("TZarvBaseSecurity"));
    PublishProperty(lookup, QStringLiteral("DataView"), TypeInfoClass(QStringLiteral("TZarvBaseDataView")),
                    &TZarvLookupSecurity::DataView, &TZarvLookupSecurity::SetDataView);
    PublishProperty(lookup, QStringLiteral("PasswordField"), TypeInfoString(),
                    &TZarvLookupSecurity::PasswordField, &TZarvLookupSecurity::SetPasswordField);
    PublishProperty(lookup, QStringLiteral("UserField"), TypeInfoString(), &TZarvLookupSecurity::UserField,
                    &TZarvLookupSecurity::SetUserField);

    RegisterDataObjectClass(&simple, Translate(QStringLiteral("Simple Security Controller")));
    RegisterDataObjectClass(&lookup, Translate(QStringLiteral("Data Lookup Security Controller")));
    RegisterZarvModuleClasses(QStringLiteral("ZvData"), {&simple, &lookup});
}

} // namespace

void RecordSecurityProcs()
{
    static bool recorded = false;
    if (recorded)
        return;
    recorded = true;
    RegisterZarvProc(QStringLiteral("ZVCL"), &RegisterSecurityClasses);
}

// ---------------------------------------------------------------------------
// TZarvSimpleSecurity.

TZarvSimpleSecurity::TZarvSimpleSecurity(TComponent* owner)
    : TZarvBaseSecurity(owner), FUserList(std::make_unique<TStrings>())
{
}

TZarvSimpleSecurity::~TZarvSimpleSecurity() = default;

void TZarvSimpleSecurity::SetUserList(TStrings* value)
{
    if (value)
        FUserList->Assign(*value);
    else
        FUserList->Clear();
}

bool TZarvSimpleSecurity::IsValidUser(const QString& userName, const QString& password)
{
    if (password.isEmpty())
        return false;
    const int index = FUserList->IndexOfName(userName);
    const QString stored = index < 0 ? QString() : FUserList->ValueFromIndex(index);
    return FCaseMatters ? AnsiCompareStr(stored, password) == 0 : AnsiCompareText(stored, password) == 0;
}

// ---------------------------------------------------------------------------
// TZarvLookupSecurity.

TZarvLookupSecurity::TZarvLookupSecurity(TComponent* owner) : TZarvBaseSecurity(owner) {}

TZarvLookupSecurity::~TZarvLookupSecurity()
{
    SetDataView(nullptr);
}

void TZarvLookupSecurity::SetDataView(TZarvBaseDataView* value)
{
    if (value == FDataView)
        return;
    if (FDataView)
        FDataView->RemoveFreeNotification(this);
    FDataView = value;
    if (FDataView)
        FDataView->FreeNotification(this);
}

void TZarvLookupSecurity::Notification(TComponent* component, TOperation operation)
{
    TZarvBaseSecurity::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FDataView)
        FDataView = nullptr;
}

bool TZarvLookupSecurity::IsValidUser(const QString& userName, const QString& password)
{
    if (password.isEmpty() || userName.isEmpty() || FUserField.isEmpty() || FPasswordField.isEmpty() ||
        !FDataView)
        return false;
    QString stored;
    LookupValue(FDataView, userName, FDataView->FieldByName(FUserField), FUserField, FPasswordField,
                QString(), stored);
    return AnsiCompareStr(stored, password) == 0;
}
