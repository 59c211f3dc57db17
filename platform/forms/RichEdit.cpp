#include "platform/forms/RichEdit.h"

#include "platform/rtl/CodePages.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"

#include <QTextDocument>
#include <QTextEdit>

#include <vector>

namespace {

TRichTextReader& Reader()
{
    static TRichTextReader reader;
    return reader;
}

// The controls alive, so that a reader installed later shows them anew.
std::vector<TRichEdit*>& LiveControls()
{
    static std::vector<TRichEdit*> controls;
    return controls;
}

} // namespace

void SetRichTextReader(TRichTextReader reader)
{
    Reader() = std::move(reader);
    for (TRichEdit* control : LiveControls())
        control->ShowText();
}

TRichEdit::TRichEdit(TComponent* owner) : TWinControl(owner), FLines(std::make_unique<TStrings>())
{
    InitColor(clWindow, false);
    auto* edit = new QTextEdit;
    edit->setReadOnly(true);
    edit->setAcceptRichText(true);
    SetWidget(edit);
    AddSubWidget(edit->viewport());
    FLines->OnChange = [this](TStringList&) {
        ShowText();
        FireNotify(QStringLiteral("OnChange"));
    };
    SetTabStop(true);
    SetBounds(0, 0, 185, 89);
    LiveControls().push_back(this);
}

TRichEdit::~TRichEdit()
{
    std::erase(LiveControls(), this);
    FLines->OnChange = nullptr;
}

QTextEdit* TRichEdit::RichWidget() const
{
    return static_cast<QTextEdit*>(Widget());
}

QString TRichEdit::Text() const
{
    return FLines->Text();
}

void TRichEdit::SetText(const QString& text)
{
    FLines->SetText(text);
}

void TRichEdit::LoadFromFile(const QString& fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    FLines->SetText(AnsiToUnicode(file.ReadBytes(file.Size())));
}

void TRichEdit::ShowText()
{
    QTextDocument* document = RichWidget()->document();
    document->clear();
    const QString rtf = FLines->Text();
    if (!Reader()) {
        document->setPlainText(rtf);
        return;
    }
    // A text the reader cannot follow is still shown, as it is.
    try {
        Reader()(rtf, *document);
    } catch (const Exception&) {
        document->clear();
        document->setPlainText(rtf);
    }
}
