#include "platform/forms/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QRegularExpression>

namespace {

std::unique_ptr<TDialogService>& Slot()
{
    static std::unique_ptr<TDialogService> service;
    return service;
}

TUnansweredDialogHandler& UnansweredHandler()
{
    static TUnansweredDialogHandler handler;
    return handler;
}

// The patterns of a filter as a list: "*.txt;*.log" or "*.txt *.log".
QStringList PatternList(const QString& patterns)
{
    static const QRegularExpression separators(QStringLiteral("[;\\s]+"));
    return patterns.split(separators, Qt::SkipEmptyParts);
}

// Whether a description already names its patterns in parentheses at its
// end ("Zarv Snapshot Files (*.zsf)" for "*.zsf").
bool EndsWithPatterns(const QString& description, const QString& patterns)
{
    const QString text = description.trimmed();
    const qsizetype open = text.lastIndexOf(QLatin1Char('('));
    if (!text.endsWith(QLatin1Char(')')) || open < 0)
        return false;
    const QStringList named = PatternList(text.mid(open + 1, text.size() - open - 2));
    return !named.isEmpty() && named == PatternList(patterns);
}

} // namespace

// "Text files|*.txt;*.log|All|*.*" as Qt's name filters
// ("Text files (*.txt *.log)", "All (*.*)").
QStringList NameFilters(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (EndsWithPatterns(parts[i], parts[i + 1])) {
            filters << parts[i].trimmed();
            continue;
        }
        filters << QStringLiteral("%1 (%2)").arg(parts[i], PatternList(parts[i + 1]).join(QLatin1Char(' ')));
    }
    return filters;
}

TDialogService::~TDialogService() = default;

std::unique_ptr<TDialogService> SetDialogService(std::unique_ptr<TDialogService> service)
{
    std::unique_ptr<TDialogService> previous = std::move(Slot());
    Slot() = std::move(service);
    return previous;
}

TUnansweredDialogHandler SetUnansweredDialogHandler(TUnansweredDialogHandler handler)
{
    TUnansweredDialogHandler previous = std::move(UnansweredHandler());
    UnansweredHandler() = std::move(handler);
    return previous;
}

TDialogService& DialogService()
{
    if (!Slot())
        Slot() = std::make_unique<TQtDialogService>();
    return *Slot();
}

QString InputBox(const QString& caption, const QString& prompt, const QString& defaultValue)
{
    QString value = defaultValue;
    if (!DialogService().InputQuery(caption, prompt, value))
        return defaultValue;
    return value;
}

bool InputQuery(const QString& caption, const QString& prompt, QString& value)
{
    return DialogService().InputQuery(caption, prompt, value);
}

// ---------------------------------------------------------------------------
// Qt service

bool TQtDialogService::FileDialog(TFileDialogRequest& request)
{
    QFileDialog dialog(QApplication::activeWindow(), request.Title, request.InitialDir, QString());
    dialog.setAcceptMode(request.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    const auto has = [&request](TOpenOption option) {
        return (request.Options & OpenOptionBit(option)) != 0;
    };
    dialog.setFileMode(!request.Save && has(TOpenOption::ofFileMustExist) ? QFileDialog::ExistingFile
                                                                          : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !has(TOpenOption::ofOverwritePrompt));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDefaultSuffix(request.DefaultExt);
    const QStringList filters = NameFilters(request.Filter);
    dialog.setNameFilters(filters);
    if (request.FilterIndex >= 1 && request.FilterIndex <= filters.size())
        dialog.selectNameFilter(filters[request.FilterIndex - 1]);
    if (!request.FileName.isEmpty())
        dialog.selectFile(request.FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    request.FileName = dialog.selectedFiles().first();
    const int index = int(filters.indexOf(dialog.selectedNameFilter()));
    if (index >= 0)
        request.FilterIndex = index + 1;
    return true;
}

bool TQtDialogService::InputQuery(const QString& caption, const QString& prompt, QString& value)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(QApplication::activeWindow(), caption, prompt, QLineEdit::Normal, value, &ok);
    if (ok)
        value = text;
    return ok;
}

// ---------------------------------------------------------------------------
// Scripted service

TScriptedDialogService::TAnswer TScriptedDialogService::Next(const QString& request)
{
    if (Answers.empty()) {
        if (UnansweredHandler())
            UnansweredHandler()(request);
        return {};
    }
    TAnswer answer = Answers.front();
    Answers.pop_front();
    return answer;
}

bool TScriptedDialogService::FileDialog(TFileDialogRequest& request)
{
    Files.push_back(request);
    const TAnswer answer = Next(QStringLiteral("%1 dialog \"%2\" (%3)")
                                    .arg(request.Save ? QStringLiteral("Save") : QStringLiteral("Open"),
                                         request.Title, request.Filter));
    if (!answer.Ok)
        return false;
    request.FileName = answer.Text;
    if (answer.FilterIndex > 0)
        request.FilterIndex = answer.FilterIndex;
    return true;
}

bool TScriptedDialogService::InputQuery(const QString& caption, const QString& prompt, QString& value)
{
    Inputs.push_back({caption, prompt, value});
    const TAnswer answer = Next(QStringLiteral("Input box \"%1\": %2").arg(caption, prompt));
    if (answer.Ok)
        value = answer.Text;
    return answer.Ok;
}

TScriptedDialogs::TScriptedDialogs()
{
    auto service = std::make_unique<TScriptedDialogService>();
    FService = service.get();
    FPrevious = SetDialogService(std::move(service));
}

TScriptedDialogs::~TScriptedDialogs()
{
    SetDialogService(std::move(FPrevious));
}

// ---------------------------------------------------------------------------
// TOpenDialog

TOpenDialog::TOpenDialog(TComponent* owner) : TComponent(owner) {}

bool TOpenDialog::Execute()
{
    TFileDialogRequest request;
    request.Save = IsSave();
    request.Title = Title;
    request.DefaultExt = DefaultExt;
    request.Filter = Filter;
    request.FilterIndex = FilterIndex;
    request.Options = Options;
    request.FileName = FileName;
    request.InitialDir = InitialDir;
    if (!DialogService().FileDialog(request))
        return false;
    FileName = request.FileName;
    FilterIndex = request.FilterIndex;
    return true;
}
