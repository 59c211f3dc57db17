#include "platform/forms/MessageService.h"

#include <QApplication>
#include <QMessageBox>

namespace {

std::unique_ptr<TMessageService>& Slot()
{
    static std::unique_ptr<TMessageService> service;
    return service;
}

int FirstButton(TMsgButtons buttons)
{
    switch (buttons) {
    case TMsgButtons::OK:
    case TMsgButtons::OKCancel: return IDOK;
    case TMsgButtons::YesNo:
    case TMsgButtons::YesNoCancel: return IDYES;
    case TMsgButtons::RetryCancel: return IDRETRY;
    case TMsgButtons::AbortRetryIgnore: return IDABORT;
    }
    return IDOK;
}

} // namespace

TMessageService::~TMessageService() = default;

void SetMessageService(std::unique_ptr<TMessageService> service)
{
    Slot() = std::move(service);
}

TMessageService& MessageService()
{
    if (!Slot())
        Slot() = std::make_unique<TQtMessageService>();
    return *Slot();
}

int ShowMessageBox(const QString& text, const QString& caption, TMsgIcon icon, TMsgButtons buttons)
{
    return MessageService().Show(TMessageBoxRequest{text, caption, icon, buttons});
}

int TQtMessageService::Show(const TMessageBoxRequest& request)
{
    QMessageBox box(QApplication::activeWindow());
    box.setText(request.Text);
    box.setWindowTitle(request.Caption);
    switch (request.Icon) {
    case TMsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case TMsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    case TMsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case TMsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case TMsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    }
    struct Button {
        QMessageBox::StandardButton Qt;
        int Result;
    };
    std::vector<Button> buttons;
    switch (request.Buttons) {
    case TMsgButtons::OK: buttons = {{QMessageBox::Ok, IDOK}}; break;
    case TMsgButtons::OKCancel: buttons = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}}; break;
    case TMsgButtons::YesNo: buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}}; break;
    case TMsgButtons::YesNoCancel:
        buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    case TMsgButtons::RetryCancel:
        buttons = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    case TMsgButtons::AbortRetryIgnore:
        buttons = {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
        break;
    }
    QMessageBox::StandardButtons set;
    for (const Button& b : buttons)
        set |= b.Qt;
    box.setStandardButtons(set);
    box.setDefaultButton(buttons.front().Qt);
    const int pressed = box.exec();
    for (const Button& b : buttons)
        if (pressed == b.Qt)
            return b.Result;
    // Closed without a button: its cancel button, or OK for a single OK.
    return request.Buttons == TMsgButtons::OK ? IDOK : IDCANCEL;
}

int TScriptedMessageService::Show(const TMessageBoxRequest& request)
{
    Shown.push_back(request);
    if (Answers.empty())
        return FirstButton(request.Buttons);
    const int result = Answers.front();
    Answers.pop_front();
    return result;
}

TScriptedMessages::TScriptedMessages()
{
    auto service = std::make_unique<TScriptedMessageService>();
    FService = service.get();
    SetMessageService(std::move(service));
}

TScriptedMessages::~TScriptedMessages()
{
    SetMessageService(nullptr);
}
