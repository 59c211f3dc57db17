#include "report/components/ZvLEUtil.h"

#include "report/components/ZvLEModule.h"
#include "report/model/ZvEvent.h"
#include "report/print/QpDefine.h"

int32_t ErrorLine = 0;
int32_t ErrorCol = 0;
TZarvEvent* ErrorEvent = nullptr;
TZarvModule* CompilingModule = nullptr;
bool ShowErrorPosition = false;

namespace {

// Texts 1-54; 36 is its parameter. The spellings are the compiler's own.
const char* const kMessages[] = {
    "Identifier expected.",
    "[%s] expected.",
    "[IMPLEMENTATION] expected.",
    "Invalid identifier [%s].",
    "Constant value expected.",
    "Type mismatch.",
    "[}] encountered without matching [{].",
    "Numeric constant expected.",
    "Invalid constant type.",
    "Invalid constant defintion.",
    "Unknown operator [%s]",
    "String constant exceeds end of line.",
    "Comment exceeds end of file.",
    "Invalid type definition.",
    "Duplicate identifier [%s]",
    "Low index type does not match high index type.",
    "Enumerated types are limited to 256 items.",
    "Invalid operand.",
    "Ordinal constant expected.",
    "High index less than low index.",
    "Size of type too big (> 2GB).",
    "Unknown identifier [%s].",
    "Type identifier expected.",
    "Type mismatch.",
    "Invalid type for this operator.",
    "Cannot assign to this type.",
    "Ordinal expression expected.",
    "Invalid use of assignement operator.",
    "Duplicate identifier [%s].",
    "Default values only allowed on value parameters.",
    "Only var parameters can be untyped.",
    "Invalid location for CREATION.",
    "Invalid location for DESTRUCTION.",
    "Invalid location for IMPLEMENTATION.",
    "[END MODULENAME;] expected.",
    "%s",
    "Structured type expected.",
    "Integer variable expected.",
    "Integer expression expected.",
    "Boolean expression expected.",
    "ELSEIF invalid after ELSE.",
    "ELSE invalid after ELSE.",
    "Class Identifier expected.",
    "Function differs from previous definition.",
    "Internal Error [%s].",
    "Read value already set.",
    "Write value already set.",
    "Read function result must be of same type as property.",
    "Too many parameters for read function.",
    "Write function parameter must be of same type as property.",
    "Too many parameters for write function.",
    "Write function must not return a result",
    "Only valid within looping structures",
    "Class variable expected",
};
constexpr int kMessageCount = int(sizeof(kMessages) / sizeof(kMessages[0]));
static_assert(kMessageCount == 54);

// The one "%s" of a table text replaced by param (the text is not a format
// string for anything else).
QString FormatMessage(const QString& text, const QString& param)
{
    QString result = text;
    const qsizetype at = result.indexOf(QStringLiteral("%s"));
    if (at >= 0)
        result.replace(at, 2, param);
    return result;
}

} // namespace

QString CompilerErrorText(int code, const QString& param)
{
    const QString text =
        code >= 1 && code <= kMessageCount ? QString::fromLatin1(kMessages[code - 1]) : QString();
    const QString message = Translate(FormatMessage(text, param));
    // Concatenated, not formatted: the parameter may itself hold "%1".
    QString full = QStringLiteral("Error #") + QString::number(code) + QStringLiteral(" - ") + message;
    if (ShowErrorPosition)
        full += QStringLiteral(" (line %1 col %2)").arg(ErrorLine).arg(ErrorCol);
    return Translate(full);
}

void RaiseCompilerException(const QString& msg)
{
    EZarvCompiler error(msg);
    error.ErrorLine = ErrorLine;
    error.ErrorCol = ErrorCol;
    error.ErrorEvent = ErrorEvent;
    throw error;
}

void RaiseCompilerError(int code, const QString& param)
{
    ErrorEvent = nullptr;
    if (auto* module = dynamic_cast<TRCPUModule*>(CompilingModule)) {
        for (TZarvEvent* event : module->SourceRefList()) {
            if (event && event->HeaderSourceLine <= ErrorLine)
                ErrorEvent = event;
        }
    }
    RaiseCompilerException(CompilerErrorText(code, param));
}
