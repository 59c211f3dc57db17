#pragma once
// The file dialogs (TOpenDialog, TSaveDialog) and the input box, through one
// replaceable service as the message boxes are: the program uses the Qt
// service, tests install a TScriptedDialogService that records each request
// and answers in order.
//
// Filters are in the framework's form "description|patterns|description|
// patterns..."; FilterIndex counts the pairs from 1. The Qt dialog shows
// each pair as "description (patterns)", or as the description alone when
// it already ends with its patterns in parentheses.
#include "platform/objects/Component.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

enum class TOpenOption : uint8_t {
    ofReadOnly,
    ofOverwritePrompt,
    ofHideReadOnly,
    ofNoChangeDir,
    ofShowHelp,
    ofNoValidate,
    ofAllowMultiSelect,
    ofExtensionDifferent,
    ofPathMustExist,
    ofFileMustExist,
    ofCreatePrompt,
    ofShareAware,
    ofNoReadOnlyReturn,
    ofNoTestFileCreate,
    ofNoNetworkButton,
    ofNoLongNames,
    ofOldStyleDialog,
    ofNoDereferenceLinks,
    ofEnableIncludeNotify,
    ofEnableSizing,
    ofDontAddToRecent,
    ofForceShowHidden,
};
// A set of open options: bit n stands for TOpenOption n.
using TOpenOptions = uint32_t;
constexpr TOpenOptions OpenOptionBit(TOpenOption option)
{
    return TOpenOptions(1u << unsigned(option));
}
constexpr TOpenOptions kDefaultOpenOptions =
    OpenOptionBit(TOpenOption::ofHideReadOnly) | OpenOptionBit(TOpenOption::ofEnableSizing);

struct TFileDialogRequest {
    bool Save = false;
    QString Title;
    QString DefaultExt; // without the dot
    QString Filter;
    int FilterIndex = 1;
    TOpenOptions Options = kDefaultOpenOptions;
    QString FileName;
    QString InitialDir;
};

class TDialogService {
public:
    virtual ~TDialogService();
    // Runs a file dialog; true with the chosen file name and filter index in
    // the request, false when cancelled.
    virtual bool FileDialog(TFileDialogRequest& request) = 0;
    // Asks for a line of text; true with the text in value, false (value
    // unchanged) when cancelled.
    virtual bool InputQuery(const QString& caption, const QString& prompt, QString& value) = 0;
};

// Replaces the service and returns the one it replaces (null when none was
// made yet); null restores the Qt service.
std::unique_ptr<TDialogService> SetDialogService(std::unique_ptr<TDialogService> service);
TDialogService& DialogService();

// A filter in the framework's form as the Qt dialog's name filters.
QStringList NameFilters(const QString& filter);

// The framework's input box: the typed text, or the default when cancelled.
QString InputBox(const QString& caption, const QString& prompt, const QString& defaultValue);
bool InputQuery(const QString& caption, const QString& prompt, QString& value);

class TQtDialogService : public TDialogService {
public:
    bool FileDialog(TFileDialogRequest& request) override;
    bool InputQuery(const QString& caption, const QString& prompt, QString& value) override;
};

// For tests: records every request and answers with the queued answers in
// order. A request with no answer queued is cancelled and reported to the
// handler of unanswered dialogs, which a test program makes fail the
// running test (a real dialog would wait for a user who never comes).
class TScriptedDialogService : public TDialogService {
public:
    struct TAnswer {
        bool Ok = false;
        QString Text;        // the file name or the typed text
        int FilterIndex = 0; // 0: leave the request's
    };
    struct TInputRequest {
        QString Caption;
        QString Prompt;
        QString Value;
    };

    bool FileDialog(TFileDialogRequest& request) override;
    bool InputQuery(const QString& caption, const QString& prompt, QString& value) override;
    void Answer(bool ok, const QString& text = QString(), int filterIndex = 0)
    {
        Answers.push_back({ok, text, filterIndex});
    }

    std::vector<TFileDialogRequest> Files;
    std::vector<TInputRequest> Inputs;
    std::deque<TAnswer> Answers;

private:
    TAnswer Next(const QString& request);
};

// Called with a description of each request that a scripted service has no
// answer for; returns the handler it replaces.
using TUnansweredDialogHandler = std::function<void(const QString& request)>;
TUnansweredDialogHandler SetUnansweredDialogHandler(TUnansweredDialogHandler handler);

// Installs a scripted service for the lifetime of this object and puts the
// service it replaced back afterwards.
class TScriptedDialogs {
public:
    TScriptedDialogs();
    ~TScriptedDialogs();
    TScriptedDialogs(const TScriptedDialogs&) = delete;
    TScriptedDialogs& operator=(const TScriptedDialogs&) = delete;

    TScriptedDialogService& Service() { return *FService; }
    void Answer(bool ok, const QString& text = QString(), int filterIndex = 0)
    {
        FService->Answer(ok, text, filterIndex);
    }

private:
    TScriptedDialogService* FService; // owned by the service slot
    std::unique_ptr<TDialogService> FPrevious;
};

// The file dialogs as components of a window.
class TOpenDialog : public TComponent {
public:
    explicit TOpenDialog(TComponent* owner);

    QString Title;
    QString DefaultExt;
    QString Filter;
    int FilterIndex = 1;
    TOpenOptions Options = kDefaultOpenOptions;
    QString FileName;
    QString InitialDir;

    // Runs the dialog through the service; true when a file was chosen
    // (FileName and FilterIndex then hold the choice).
    virtual bool Execute();

protected:
    virtual bool IsSave() const { return false; }
};

class TSaveDialog : public TOpenDialog {
public:
    using TOpenDialog::TOpenDialog;

protected:
    bool IsSave() const override { return true; }
};
