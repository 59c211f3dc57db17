#pragma once
// Two small registered component classes that between them publish a property
// of every kind the stream carries, for the reader, writer, walker and fuzz
// tests. RegisterTestClasses registers them (and this layer's classes) once.
#include "platform/objects/Collection.h"
#include "platform/objects/Component.h"
#include "platform/objects/Strings.h"

#include <QByteArray>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <ostream>

// Shows QStrings and QByteArrays readably in test failures.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    *os << bytes.toHex(' ').toStdString();
}

enum class TTestAlign { alNone, alTop, alBottom, alClient };
constexpr uint32_t akLeft = 1, akTop = 2, akRight = 4, akBottom = 8;

class TTestFont : public TPersistent {
public:
    QString Name() const { return FName; }
    void SetName(const QString& v) { FName = v; }
    int Size() const { return FSize; }
    void SetSize(int v) { FSize = v; }

private:
    QString FName = QStringLiteral("Arial");
    int FSize = 8;
};

class TTestItem : public TCollectionItem {
public:
    int Width() const { return FWidth; }
    void SetWidth(int v) { FWidth = v; }
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& v) { FCaption = v; }
    void Assign(const TPersistent* source) override
    {
        if (auto* item = dynamic_cast<const TTestItem*>(source)) {
            FWidth = item->FWidth;
            FCaption = item->FCaption;
            return;
        }
        TCollectionItem::Assign(source);
    }

private:
    int FWidth = 0;
    QString FCaption;
};

class TKindsBox : public TComponent {
public:
    explicit TKindsBox(TComponent* owner);
    ~TKindsBox() override;

    int Count() const { return FCount; } // default 5
    void SetCount(int v) { FCount = v; }
    QChar Letter() const { return FLetter; } // default 'A'
    void SetLetter(QChar v) { FLetter = v; }
    TTestAlign Align() const { return FAlign; }
    void SetAlign(TTestAlign v) { FAlign = v; }
    bool Enabled() const { return FEnabled; } // default True
    void SetEnabled(bool v) { FEnabled = v; }
    uint32_t Anchors() const { return FAnchors; } // default [akLeft, akTop]
    void SetAnchors(uint32_t v) { FAnchors = v; }
    double Ratio() const { return FRatio; }
    void SetRatio(double v) { FRatio = v; }
    float Scale() const { return FScale; }
    void SetScale(float v) { FScale = v; }
    double Price() const { return FPrice; }
    void SetPrice(double v) { FPrice = v; }
    double Stamp() const { return FStamp; }
    void SetStamp(double v) { FStamp = v; }
    QString Code() const { return FCode; } // short string
    void SetCode(const QString& v) { FCode = v; }
    QString Hint() const { return FHint; } // long (Ansi) string
    void SetHint(const QString& v) { FHint = v; }
    QString Caption() const { return FCaption; } // Unicode string
    void SetCaption(const QString& v) { FCaption = v; }
    int64_t Big() const { return FBig; }
    void SetBig(int64_t v) { FBig = v; }
    QVariant Extra() const { return FExtra; }
    void SetExtra(const QVariant& v) { FExtra = v; }
    TMethod OnClick() const { return FOnClick; }
    void SetOnClick(const TMethod& v) { FOnClick = v; }
    TKindsBox* Buddy() const { return FBuddy; }
    void SetBuddy(TKindsBox* v) { ReferenceComponent(this, FBuddy, v); }
    TTestFont* Font() const { return FFont.get(); }
    TStrings* Lines() const { return FLines.get(); }
    TCollection* Items() const { return FItems.get(); }
    int Serial() const { return 42; } // read-only, never streamed
    QByteArray Blob;                  // the defined binary property "Blob"

    void DefineProperties(TFiler& filer) override;
    void Loaded() override;

    // Names of the components in the order Loaded ran, and whether each saw
    // its Buddy already resolved.
    static QStringList& LoadedLog();

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    int FCount = 5;
    QChar FLetter = QLatin1Char('A');
    TTestAlign FAlign = TTestAlign::alNone;
    bool FEnabled = true;
    uint32_t FAnchors = akLeft | akTop;
    double FRatio = 0;
    float FScale = 0;
    double FPrice = 0;
    double FStamp = 0;
    QString FCode;
    QString FHint;
    QString FCaption;
    int64_t FBig = 0;
    QVariant FExtra;
    TMethod FOnClick;
    TKindsBox* FBuddy = nullptr;
    std::unique_ptr<TTestFont> FFont;
    std::unique_ptr<TStrings> FLines;
    std::unique_ptr<TCollection> FItems;
};

// A root with a title and the published handlers BoxClick and FormShow.
class TKindsForm : public TKindsBox {
public:
    using TKindsBox::TKindsBox;
    QString Title() const { return FTitle; }
    void SetTitle(const QString& v) { FTitle = v; }

private:
    QString FTitle;
};

void RegisterTestClasses();
