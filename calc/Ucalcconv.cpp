#include "calc/Ucalcconv.h"

#include "platform/forms/MessageService.h"
#include "platform/os/Modules.h"
#include "platform/rtl/Exceptions.h"

namespace {

// The first count UTF-16 units of text, one fewer when the cut would split a
// surrogate pair.
QString Cut(const QString& text, int count)
{
    if (text.size() <= count)
        return text;
    if (count > 0 && text.at(count - 1).isHighSurrogate())
        --count;
    return text.left(count);
}

} // namespace

void TCalcText::Assign(const QString& text)
{
    FText = Cut(text, Capacity);
}

void TCalcText::Append(const QString& text)
{
    FText = Cut(FText + text, Capacity);
}

void ShowCalcMessage(int textId, const std::vector<FormatArg>& args)
{
    QString text = LoadStr(textId);
    if (!args.empty()) {
        try {
            text = FormatList(text, args);
        } catch (const Exception&) {
            // keep the unformatted text
        }
    }
    ShowMessageBox(text, LoadStr(CalcMessageCaptionId), TMsgIcon::Question);
}
