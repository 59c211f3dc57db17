#pragma once
// The probe window of the forms tests: a form class whose handlers log each
// call as "<handler>:<sender>" (bGoClick, FormClose and FormKeyDown are member
// functions, the others bound lambdas), read from tests/data/forms/Probe.dfm (or from
// any stream given), and the helpers to compile text forms.
#include "platform/forms/Buttons.h"
#include "platform/forms/ComCtrls.h"
#include "platform/forms/ExtCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/forms/ImgList.h"
#include "platform/forms/StdCtrls.h"

#include <QByteArray>
#include <QStringList>

#include <functional>
#include <ostream>

class TfProbe : public TForm {
public:
    // Reads the probe form stream.
    explicit TfProbe(TComponent* owner);
    // Reads the given stream instead (none: reads nothing).
    TfProbe(TComponent* owner, const QByteArray& stream);

    QStringList Log;
    // Runs inside bGoClick after it logged (to throw, show a box ...).
    std::function<void()> OnGo;
    TCloseAction CloseAction = TCloseAction::caHide;
    uint16_t SwallowKey = 0; // FormKeyDown sets a key of this code to 0

    template <class T> T* Get(const char* name) const
    {
        return RequireOwned<T>(this, QString::fromLatin1(name));
    }

    void bGoClick(TObject* sender);
    void FormClose(TObject* sender, TCloseAction& action);
    void FormKeyDown(TObject* sender, uint16_t& key, TShiftState shift);

private:
    void Bind();
};

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

// A message handler that drops the warnings Qt's image readers give for
// every damaged file (the tests feed them many on purpose).
void QuietImageWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message);

// Registers the forms layer and TfProbe.
void RegisterProbeClasses();
// A text form file of tests/data/forms compiled to a form stream.
QByteArray CompiledForm(const QString& fileName);
// Text compiled to a form stream.
QByteArray CompiledText(const char* text);
