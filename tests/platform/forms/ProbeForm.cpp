#include "tests/platform/forms/ProbeForm.h"

#include "platform/forms/FormsRegistration.h"
#include "platform/objects/ObjectText.h"

#include <QFile>

TfProbe::TfProbe(TComponent* owner) : TfProbe(owner, CompiledForm(QStringLiteral("Probe.dfm"))) {}

TfProbe::TfProbe(TComponent* owner, const QByteArray& stream) : TForm(owner)
{
    Bind();
    if (!stream.isEmpty())
        ReadForm(stream);
}

namespace {

QString NameOf(TObject* sender)
{
    auto* component = dynamic_cast<TComponent*>(sender);
    return component ? component->Name() : QStringLiteral("?");
}

} // namespace

void TfProbe::Bind()
{
    BindMethod(QStringLiteral("bGoClick"), &TfProbe::bGoClick);
    BindMethod(QStringLiteral("FormClose"), &TfProbe::FormClose);
    BindMethod(QStringLiteral("FormKeyDown"), &TfProbe::FormKeyDown);
    for (const char* name : {"FormCreate", "FormShow", "FormHide", "FormDestroy", "eNameChange", "cFlagClick",
                             "rMMClick", "cUnitChange", "lbListClick", "pTabChange", "sbCalcClick",
                             "tiTickTimer", "tsOneEnter", "eNameExit"}) {
        const QString handler = QString::fromLatin1(name);
        BindEvent(handler, TNotifyHandler(
                               [this, handler](TObject* sender) { Log << handler + u':' + NameOf(sender); }));
    }
}

void TfProbe::bGoClick(TObject* sender)
{
    Log << QStringLiteral("bGoClick:") + NameOf(sender);
    if (OnGo)
        OnGo();
}

void TfProbe::FormClose(TObject*, TCloseAction& action)
{
    Log << QStringLiteral("close");
    action = CloseAction;
}

void TfProbe::FormKeyDown(TObject*, uint16_t& key, TShiftState)
{
    Log << QStringLiteral("key %1").arg(key);
    if (key == SwallowKey)
        key = 0;
}

void QuietImageWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && (message.startsWith("libpng") || message.startsWith("QBuffer::seek") ||
                                 message.startsWith("QImageIOHandler")))
        return;
    qt_message_output(type, context, message);
}

void RegisterProbeClasses()
{
    RegisterFormsClasses();
    if (!FindClass(QStringLiteral("TfProbe")))
        RegisterClass<TfProbe>(QStringLiteral("TfProbe"), QStringLiteral("TForm"));
}

QByteArray CompiledForm(const QString& fileName)
{
    QFile file(QStringLiteral(TESSVAR_FORMS_DATA "/") + fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("cannot read %1").arg(file.fileName()));
    return ObjectTextToBinary(file.readAll());
}

QByteArray CompiledText(const char* text)
{
    return ObjectTextToBinary(QByteArray(text));
}
