#pragma once
// ZvSecurity: the login checks a project or a report names in its
// SecurityControl: data objects that answer whether a user name and password
// are valid. TZarvSimpleSecurity checks a list of name=password lines kept in
// the project (names without regard to case, passwords by CaseMatters);
// TZarvLookupSecurity looks the user's password up in a data view. An empty
// password is never valid.
#include "report/model/ZvItem.h"

#include "platform/objects/Strings.h"

#include <QString>

#include <memory>

class TZarvBaseDataView;

// Records the registration procedure of the security classes under "ZVCL".
// Further calls do nothing.
void RecordSecurityProcs();

class TZarvBaseSecurity : public TZarvDataObject {
public:
    using TZarvDataObject::TZarvDataObject;
    virtual bool IsValidUser(const QString& userName, const QString& password) = 0;
};

class TZarvSimpleSecurity : public TZarvBaseSecurity {
public:
    explicit TZarvSimpleSecurity(TComponent* owner);
    ~TZarvSimpleSecurity() override;

    bool IsValidUser(const QString& userName, const QString& password) override;

    // name=password lines; setting copies them.
    TStrings* UserList() const { return FUserList.get(); }
    void SetUserList(TStrings* value);
    bool CaseMatters() const { return FCaseMatters; }
    void SetCaseMatters(bool value) { FCaseMatters = value; }

private:
    std::unique_ptr<TStrings> FUserList;
    bool FCaseMatters = false;
};

class TZarvLookupSecurity : public TZarvBaseSecurity {
public:
    explicit TZarvLookupSecurity(TComponent* owner);
    ~TZarvLookupSecurity() override;

    bool IsValidUser(const QString& userName, const QString& password) override;

    TZarvBaseDataView* DataView() const { return FDataView; }
    void SetDataView(TZarvBaseDataView* value);
    const QString& UserField() const { return FUserField; }
    void SetUserField(const QString& value) { FUserField = value; }
    const QString& PasswordField() const { return FPasswordField; }
    void SetPasswordField(const QString& value) { FPasswordField = value; }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    TZarvBaseDataView* FDataView = nullptr;
    QString FUserField;
    QString FPasswordField;
};
