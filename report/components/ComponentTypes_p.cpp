#include "report/components/ComponentTypes_p.h"

#include "platform/objects/ClassRegistry.h"
#include "report/model/ZvClass.h"

#include <QStringList>

const TTypeInfo& ZarvUnitsType()
{
    static const TTypeInfo type{QStringLiteral("TZarvUnits"), TTypeKind::tkFloat, {}, nullptr,
                                TFloatType::ftExtended,       QString()};
    return type;
}

const TTypeInfo& ZarvColorType()
{
    return TypeInfoColor();
}

const TTypeInfo& ZarvPenStyleType()
{
    static const TTypeInfo type = MakeEnumType(
        QStringLiteral("TPenStyle"),
        {QStringLiteral("psSolid"), QStringLiteral("psDash"), QStringLiteral("psDot"),
         QStringLiteral("psDashDot"), QStringLiteral("psDashDotDot"), QStringLiteral("psClear"),
         QStringLiteral("psInsideFrame"), QStringLiteral("psUserStyle"), QStringLiteral("psAlternate")});
    return type;
}

const TTypeInfo& ZarvLineWidthType()
{
    static const TTypeInfo type = MakeEnumType(QStringLiteral("TLineWidthType"),
                                               {QStringLiteral("wtPoints"), QStringLiteral("wtPixels")});
    return type;
}

const TTypeInfo& ZarvFillStyleType()
{
    static const TTypeInfo type = MakeEnumType(
        QStringLiteral("TZarvFillStyle"),
        {QStringLiteral("fsSolid"), QStringLiteral("fsClear"), QStringLiteral("fsHorizontal"),
         QStringLiteral("fsVertical"), QStringLiteral("fsFDiagonal"), QStringLiteral("fsBDiagonal"),
         QStringLiteral("fsCross"), QStringLiteral("fsDiagCross"), QStringLiteral("fsNone")});
    return type;
}

const TTypeInfo& ZarvPrintJustifyType()
{
    static const TTypeInfo type =
        MakeEnumType(QStringLiteral("TPrintJustify"), {QStringLiteral("pjCenter"), QStringLiteral("pjLeft"),
                                                       QStringLiteral("pjRight"), QStringLiteral("pjBlock")});
    return type;
}

const TTypeInfo& ZarvMatchSideType()
{
    static const TTypeInfo type =
        MakeEnumType(QStringLiteral("TMatchSide"), {QStringLiteral("msWidth"), QStringLiteral("msHeight"),
                                                    QStringLiteral("msBoth"), QStringLiteral("msInside")});
    return type;
}

const TTypeInfo& ZarvCursorType()
{
    static const TTypeInfo type = MakeIntegerType(QStringLiteral("TCursor"));
    return type;
}

void PublishZarvBounds(TClassInfo& info, bool withHeight)
{
    if (withHeight)
        PublishProperty(info, QStringLiteral("Height"), ZarvUnitsType(), &TZarvControl::GetHeight,
                        &TZarvControl::SetHeight);
    PublishProperty(info, QStringLiteral("Left"), ZarvUnitsType(), &TZarvControl::GetLeft,
                    &TZarvControl::SetLeft);
    PublishProperty(info, QStringLiteral("Top"), ZarvUnitsType(), &TZarvControl::GetTop,
                    &TZarvControl::SetTop);
    PublishProperty(info, QStringLiteral("Width"), ZarvUnitsType(), &TZarvControl::GetWidth,
                    &TZarvControl::SetWidth);
}
