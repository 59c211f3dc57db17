#pragma once
// Stand-ins for the classes the report model meets through hooks and
// interfaces: a script module that records what it is asked, project items
// of each kind, a project manager that hands out names, and two registered
// control classes with published geometry, a caption and a font.
#include "platform/objects/ClassRegistry.h"
#include "report/model/ZvClass.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <variant>

// Records every call as a line of text.
class TFakeModule : public TZarvModule {
public:
    QStringList Log;
    int SuspendAt = -1; // the entry point whose script suspends itself once

    void ResolveImports() override { Log << "resolve"; }
    void SaveToStream(TStream&) override {}
    void Execute(int32_t position, std::unique_ptr<TObject>& suspendState) override
    {
        Log << QStringLiteral("exec %1%2").arg(position).arg(suspendState ? " resumed" : "");
        if (position == SuspendAt && !suspendState)
            suspendState = std::make_unique<TObject>();
        else
            suspendState.reset();
    }
    void SetStringVar(const QString&, const QString&) override {}
    QString GetStringVar(const QString&) override { return QString(); }
    void SetIntVar(const QString&, int32_t) override {}
    int32_t GetIntVar(const QString&) override { return 0; }
    void SetFloatVar(const QString&, double) override {}
    double GetFloatVar(const QString&) override { return 0; }
    void PushParam(const TZarvParam& param) override
    {
        if (auto* object = std::get_if<TObject*>(&param)) {
            auto* component = dynamic_cast<TComponent*>(*object);
            Log << QStringLiteral("push %1").arg(component ? component->Name() : QStringLiteral("nil"));
        } else if (auto* text = std::get_if<QString*>(&param)) {
            Log << QStringLiteral("push var string");
            **text += QStringLiteral("!"); // the script may change the variable
        } else {
            Log << QStringLiteral("push var float");
        }
    }
    void Changing(TZarvModule*, TZarvModule*) override {}
    void BuildSource() override {}
    void Compile(bool) override {}
    void EventConnect() override {}
};

// A project item with a module.
class TFakeItem : public TZarvContainerComponent {
public:
    explicit TFakeItem(TComponent* owner) : TZarvContainerComponent(owner) {}
    TZarvItemKind ItemKind() const override { return TZarvItemKind::ikProjectItem; }
    TZarvModule* ItemModule() const override { return Module.get(); }
    std::unique_ptr<TFakeModule> Module;
};

class TFakePage : public TZarvContainerComponent {
public:
    explicit TFakePage(TComponent* owner) : TZarvContainerComponent(owner)
    {
        SetStructure(this, Report(), Project());
    }
    TZarvItemKind ItemKind() const override { return TZarvItemKind::ikPage; }
};

class TFakeReport : public TZarvContainerComponent {
public:
    explicit TFakeReport(TComponent* owner) : TZarvContainerComponent(owner)
    {
        SetStructure(Page(), this, Project());
    }
    TZarvItemKind ItemKind() const override { return TZarvItemKind::ikReport; }
};

class TFakeProject : public TZarvContainerComponent, public IZarvProjectManager {
public:
    explicit TFakeProject(TComponent* owner) : TZarvContainerComponent(owner)
    {
        SetStructure(nullptr, nullptr, this);
    }
    TZarvItemKind ItemKind() const override { return TZarvItemKind::ikProjectManager; }
    double UnitsFactor() const override { return Factor; }
    // "Wanted|Base": the wanted name when free; else Base1, Base2 ...
    QString GetUniqueName(const QString& name, TComponent* nameOwner, bool useName) override
    {
        const QString wanted = name.section(u'|', 0, 0);
        const QString base = useName ? name.section(u'|', 1) : name;
        if (useName && !nameOwner->FindComponent(wanted))
            return wanted;
        for (int i = 1;; ++i) {
            const QString candidate = base + QString::number(i);
            if (!nameOwner->FindComponent(candidate))
                return candidate;
        }
    }
    TBaseReport* BaseReport() const override { return nullptr; }
    double Factor = 1.0;
};

// A container control with published geometry, a caption, a font and an
// event of its own, which records its prints.
class TTestBox : public TZarvContainerControl {
public:
    explicit TTestBox(TComponent* owner) : TZarvContainerControl(owner)
    {
        SetWidth(2.0);
        SetHeight(1.0);
    }
    const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& value) { FCaption = value; }
    TFont* Font() const { return FFont.get(); }
    void SetFont(TFont* value) { FFont->Assign(value); }
    TZarvStringEvent* OnGetText() const { return FOnGetText.get(); }
    void SetOnGetText(TZarvStringEvent* value)
    {
        if (!FOnGetText)
            FOnGetText = std::make_unique<TZarvStringEvent>();
        if (value)
            FOnGetText->Assign(value);
    }
    void Print(TBaseReport*) override { PrintLog << QStringLiteral("%1@%2").arg(Name()).arg(GetPageLeft()); }
    void PaintSelf(TCanvas&) override
    {
        PrintLog << QStringLiteral("paint %1@%2").arg(Name()).arg(GetPageLeft());
    }

    static inline QStringList PrintLog;

private:
    QString FCaption;
    std::unique_ptr<TFont> FFont = std::make_unique<TFont>();
    std::unique_ptr<TZarvStringEvent> FOnGetText;
};

// A descendant that adds a property of its own.
class TTestText : public TTestBox {
public:
    using TTestBox::TTestBox;
    int Rotation() const { return FRotation; }
    void SetRotation(int value) { FRotation = value; }

private:
    int FRotation = 0;
};

// A control class that is not related to the box classes.
class TTestLine : public TZarvControl {
public:
    using TZarvControl::TZarvControl;
};

// Registers the model's classes (through its recorded procedure) and the
// test classes, once.
inline void RegisterModelForTests()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    RecordReportModelProcs();
    RunZarvProcs(QStringLiteral("ZVCL"));
    TClassInfo& box =
        RegisterClass<TTestBox>(QStringLiteral("TTestBox"), QStringLiteral("TZarvContainerControl"));
    PublishProperty(box, QStringLiteral("Left"), TypeInfoDouble(), &TZarvControl::GetLeft,
                    &TZarvControl::SetLeft);
    PublishProperty(box, QStringLiteral("Top"), TypeInfoDouble(), &TZarvControl::GetTop,
                    &TZarvControl::SetTop);
    PublishProperty(box, QStringLiteral("Width"), TypeInfoDouble(), &TZarvControl::GetWidth,
                    &TZarvControl::SetWidth);
    PublishProperty(box, QStringLiteral("Height"), TypeInfoDouble(), &TZarvControl::GetHeight,
                    &TZarvControl::SetHeight);
    PublishProperty(box, QStringLiteral("Caption"), TypeInfoString(), &TTestBox::Caption,
                    &TTestBox::SetCaption);
    PublishProperty(box, QStringLiteral("Font"), TypeInfoClass(QStringLiteral("TFont")), &TTestBox::Font,
                    &TTestBox::SetFont);
    PublishProperty(box, QStringLiteral("OnGetText"), TypeInfoClass(QStringLiteral("TZarvStringEvent")),
                    &TTestBox::OnGetText, &TTestBox::SetOnGetText);
    TClassInfo& text = RegisterClass<TTestText>(QStringLiteral("TTestText"), QStringLiteral("TTestBox"));
    PublishProperty(text, QStringLiteral("Rotation"), TypeInfoInteger(), &TTestText::Rotation,
                    &TTestText::SetRotation);
    RegisterClass<TTestLine>(QStringLiteral("TTestLine"), QStringLiteral("TZarvControl"));
    RegisterZarvModuleClasses(QStringLiteral("ZvTest"), {&box});
}
