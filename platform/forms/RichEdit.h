#pragma once
// TRichEdit: a memo whose text is rich text (RTF).
//
// Qt's editors read and write HTML and Markdown, not RTF. So the control
// keeps the RTF it was given (set through Lines or Text, or loaded from a
// file) as its lines, and its lines give that RTF back unchanged; it shows
// the text through Qt's rich text, converted by the rich-text reader the
// program installs (SetRichTextReader); without one the RTF is shown as
// plain characters. The display is read-only: a change typed into it could
// not be given back as RTF and would be lost.
#include "platform/forms/Controls.h"
#include "platform/objects/Strings.h"

#include <functional>

class QTextDocument;
class QTextEdit;

// Fills document with what the rich text says (document starts empty).
using TRichTextReader = std::function<void(const QString& rtf, QTextDocument& document)>;
// Installs the reader every rich-edit control shows its text with, and
// shows every control's text anew through it; an empty one shows the RTF as
// it is.
void SetRichTextReader(TRichTextReader reader);

class TRichEdit : public TWinControl {
public:
    explicit TRichEdit(TComponent* owner);
    ~TRichEdit() override;

    // The RTF, as lines; changing them shows the text anew and fires
    // OnChange.
    TStrings* Lines() const { return FLines.get(); }
    void SetLines(const TStrings* lines) { FLines->Assign(lines); }
    // The RTF, each line followed by CR LF.
    QString Text() const override;
    void SetText(const QString& text) override;
    // Loads the RTF of a file. Rich text is 7-bit, with any other byte
    // written as an escape; a stray 8-bit byte is read in the Ansi code
    // page, in which the lines go back to bytes. EFOpenError when the file
    // cannot be read.
    void LoadFromFile(const QString& fileName);

    QTextEdit* RichWidget() const;
    // Shows the lines through the installed reader.
    void ShowText();

protected:
    QPalette::ColorRole BackgroundRole() const override { return QPalette::Base; }

private:
    std::unique_ptr<TStrings> FLines;
};
