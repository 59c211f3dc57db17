#pragma once
// Modal message boxes through one service. Windows and calculators call
// ShowMessageBox; the program installs the Qt service, and tests install a
// TScriptedMessageService that records every box and answers in order.
#include <QString>

#include <deque>
#include <memory>
#include <vector>

enum class TMsgIcon { None, Question, Error, Warning, Information };
enum class TMsgButtons { OK, OKCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };

// The button pressed, numbered as modal results are.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

struct TMessageBoxRequest {
    QString Text;
    QString Caption;
    TMsgIcon Icon = TMsgIcon::None;
    TMsgButtons Buttons = TMsgButtons::OK;
};

class TMessageService {
public:
    virtual ~TMessageService();
    // Shows the box modally and returns the button pressed (closing the box
    // counts as its cancel button, or OK when it has none).
    virtual int Show(const TMessageBoxRequest& request) = 0;
};

// Replaces the service; null restores the Qt message box service.
void SetMessageService(std::unique_ptr<TMessageService> service);
TMessageService& MessageService();

int ShowMessageBox(const QString& text, const QString& caption, TMsgIcon icon,
                   TMsgButtons buttons = TMsgButtons::OK);

// The Qt service: a QMessageBox parented to the active window.
class TQtMessageService : public TMessageService {
public:
    int Show(const TMessageBoxRequest& request) override;
};

// For tests: records every box; answers with the queued results in order and,
// when the queue is empty, with the box's first button (OK, Yes, Retry or
// Abort).
class TScriptedMessageService : public TMessageService {
public:
    int Show(const TMessageBoxRequest& request) override;
    void Answer(int result) { Answers.push_back(result); }

    std::vector<TMessageBoxRequest> Shown;
    std::deque<int> Answers;
};

// Installs a scripted service for the lifetime of this object and puts the Qt
// service back afterwards.
class TScriptedMessages {
public:
    TScriptedMessages();
    ~TScriptedMessages();
    TScriptedMessages(const TScriptedMessages&) = delete;
    TScriptedMessages& operator=(const TScriptedMessages&) = delete;

    TScriptedMessageService& Service() { return *FService; }
    const std::vector<TMessageBoxRequest>& Shown() const { return FService->Shown; }
    void Answer(int result) { FService->Answer(result); }

private:
    TScriptedMessageService* FService; // owned by the service slot
};
