// ZVDATA: data fields, data views, the database component, the driver data
// view and the login objects.
#include "report/components/ZvLEFuncs_p.h"
#include "report/model/ZvData.h"
#include "report/model/ZvDataField.h"
#include "report/model/ZvDatabase.h"
#include "report/model/ZvDirectDataView.h"
#include "report/model/ZvDriverDataView.h"
#include "report/model/ZvSecurity.h"

namespace ZvLEFuncs {

void AddZvDataRows(TRowBuilder& builder)
{
    using F = TZarvDataField;
    TClassRows<F> f(builder, "ZVDATA", "TZarvDataField");
    f.GetSet("DESCRIPTION", &F::Description, &F::SetDescription);
    f.GetSet("FIELDNAME", &F::FieldName, &F::SetFieldName).GetSet("FULLNAME", &F::FullName, &F::SetFullName);
    f.GetSet("NULLTEXT", &F::NullText, &F::SetNullText).GetSet("SIZE", &F::Size, &F::SetSize);
    f.Fn("DATATYPE", &F::DataType).Fn("ASSTRING", &F::AsString).Fn("ASBOOLEAN", &F::AsBoolean);
    f.Fn("ASINTEGER", &F::AsInteger).Fn("ASFLOAT", &F::AsFloat).Fn("ASCURRENCY", &F::AsCurrency);
    f.Fn("ASDATETIME", &F::AsDateTime).Fn("ASDATE", &F::AsDate).Fn("ASTIME", &F::AsTime);
    // The value's bytes, copied into the CPU's memory as a read-only segment
    // that lives until the field reads another row or the run ends; scripts
    // read it with the ordinary loads. A null value answers nil.
    f.Raw("ASBLOB", [](F& field, TNativeArgs& args) {
        const uint8_t* bytes = field.AsBlob();
        if (!bytes)
            return TRCPUNativeResult::OfInteger(0);
        const uint64_t stamp = field.RowStamp();
        const uint32_t handle = RCPUHandles().Acquire(&field); // a component's: kept until it is freed
        const uint32_t address =
            args.Cpu.MapRunSegment(&field, bytes, uint32_t(field.DataSize()), [handle, stamp] {
                const auto* now = dynamic_cast<const F*>(RCPUHandles().Object(handle));
                return now && now->RowStamp() == stamp;
            });
        return TRCPUNativeResult::OfInteger(int32_t(address));
    });
    f.Fn("DATASIZE", &F::DataSize).Fn("ISNULL", &F::IsNull);

    using FF = TZarvFormattedField;
    TClassRows<FF>(builder, "ZVDATA", "TZarvFormattedField")
        .GetSet("DISPLAYFORMAT", &FF::DisplayFormat, &FF::SetDisplayFormat);
    using BF = TZarvBooleanField;
    TClassRows<BF>(builder, "ZVDATA", "TZarvBooleanField")
        .GetSet("TEXTTRUE", &BF::TextTrue, &BF::SetTextTrue)
        .GetSet("TEXTFALSE", &BF::TextFalse, &BF::SetTextFalse);

    using V = TZarvBaseDataView;
    TClassRows<V> v(builder, "ZVDATA", "TZarvBaseDataView");
    v.Fn("FIRST", &V::First).Fn("NEXT", &V::Next).Fn("GETCURRENTROW", &V::GetCurrentRow).Fn("EOF", &V::Eof);
    v.Fn("CHECKROWSLEFT", &V::CheckRowsLeft).Fn("FIELDBYNAME", &V::FieldByName).Fn("PEEK", &V::Peek);
    v.Fn("UNPEEK", &V::Unpeek).Fn("EMPTY", &V::IsEmpty).Fn("SAVING", &V::Saving);

    using DV = TZarvDataView;
    TClassRows<DV>(builder, "ZVDATA", "TZarvDataView")
        .GetSet("ACTIVE", &DV::Active, &DV::SetActive)
        .GetSet("CONNECTIONNAME", &DV::ConnectionName, &DV::SetConnectionName);

    using A = TZarvDBAuth;
    TClassRows<A>(builder, "ZVDATA", "TZarvDBAuth")
        .GetSet("DATASOURCE", &A::Datasource, &A::SetDatasource)
        .GetSet("OPTIONS", &A::Options, &A::SetOptions)
        .GetSet("PASSWORD", &A::Password, &A::SetPassword)
        .GetSet("USERNAME", &A::Username, &A::SetUsername);

    using D = TZarvDatabase;
    TClassRows<D>(builder, "ZVDATA", "TZarvDatabase")
        .Get("AUTHDESIGN", &D::AuthDesign)
        .Get("AUTHRUN", &D::AuthRun)
        .GetSet("LINKPOOLSIZE", &D::LinkPoolSize, &D::SetLinkPoolSize)
        .GetSet("LINKTYPE", &D::LinkType, &D::SetLinkType);

    using DD = TZarvDriverDataView;
    TClassRows<DD>(builder, "ZVDATA", "TZarvDriverDataView")
        .GetSet("DATABASE", &DD::Database, &DD::SetDatabase)
        .GetSet("QUERY", &DD::Query, &DD::SetQuery);

    using BS = TZarvBaseSecurity;
    TClassRows<BS>(builder, "ZVDATA", "TZarvBaseSecurity").Fn("ISVALIDUSER", &BS::IsValidUser);
    using SS = TZarvSimpleSecurity;
    TClassRows<SS>(builder, "ZVDATA", "TZarvSimpleSecurity")
        .GetSet("CASEMATTERS", &SS::CaseMatters, &SS::SetCaseMatters);
    using LS = TZarvLookupSecurity;
    TClassRows<LS>(builder, "ZVDATA", "TZarvLookupSecurity")
        .GetSet("DATAVIEW", &LS::DataView, &LS::SetDataView)
        .GetSet("USERFIELD", &LS::UserField, &LS::SetUserField)
        .GetSet("PASSWORDFIELD", &LS::PasswordField, &LS::SetPasswordField);
}

} // namespace ZvLEFuncs
