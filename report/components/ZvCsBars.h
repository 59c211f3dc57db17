#pragma once
// ZvCsBars: barcode components. Each component owns one symbology object of
// the printing engine (QpBars) that encodes its text and draws bars and the
// readable text; the component keeps the symbol's geometry in step with its
// own box, feeds it the designed Text or, while a report runs, a data text
// expression evaluated against a data view, places it on the page by its
// justification and rotation, and prints it. After a run the designed text
// is back.
//
// The justification is not stored: only the anchor that matches it is
// (Left for pjLeft and pjBlock, Center, Right), and loading that anchor
// brings the justification back (pjBlock reloads as pjLeft, which places
// the symbol the same). Geometry is in inches.
#include "report/model/ZvClass.h"
#include "report/print/QpBars.h"

#include <QString>

#include <memory>

// Records the registration procedure of the barcode classes under "ZVCL".
// Further calls do nothing.
void RecordBarCodeProcs();

class TZarvBaseBarCode : public TZarvControl {
public:
    ~TZarvBaseBarCode() override;

    TQPBarsBase* BarCode() const { return FBarCode.get(); }

    const QString& DataField() const { return FDataField; }
    void SetDataField(const QString& value);
    // A data view (TZarvBaseDataView); anything else is refused.
    TZarvComponent* DataView() const { return FDataView; }
    void SetDataView(TZarvComponent* value);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);
    TPrintJustify BarCodeJustify() const { return FBarCode->BarCodeJustify(); }
    void SetBarCodeJustify(TPrintJustify value);
    TFont* Font() const { return FFont.get(); }
    void SetFont(TFont* value);
    double BarWidth() const { return FBarCode->BarWidth(); }
    void SetBarWidth(double value);
    double BarHeight() const { return FBarCode->BarHeight(); }
    void SetBarHeight(double value);
    double BarTop() const { return FBarCode->BarTop(); }
    void SetBarTop(double value);
    // The edges of the component's box; setting Right or Center anchors the
    // symbol there and justifies it that way.
    double Right() const { return TZarvControl::GetLeft() + GetWidth(); }
    void SetRightEdge(double value);
    double Center() const { return TZarvControl::GetLeft() + GetWidth() / 2; }
    void SetCenter(double value);
    TPrintJustify TextJustify() const { return FBarCode->TextJustify(); }
    void SetTextJustify(TPrintJustify value) { FBarCode->SetTextJustify(value); }
    bool UseChecksum() const { return FBarCode->UseChecksum(); }
    void SetUseChecksum(bool value);
    double WideFactor() const { return FBarCode->WideFactor(); }
    void SetWideFactor(double value);
    bool PrintReadable() const { return FBarCode->PrintReadable(); }
    void SetPrintReadable(bool value) { FBarCode->SetPrintReadable(value); }
    bool PrintChecksum() const { return FBarCode->PrintChecksum(); }
    void SetPrintChecksum(bool value) { FBarCode->SetPrintChecksum(value); }
    bool PrintTop() const { return FBarCode->PrintTop(); }
    void SetPrintTop(bool value);
    TBarCodeRotation BarCodeRotation() const { return FBarCode->BarCodeRotation(); }
    void SetBarCodeRotation(TBarCodeRotation value) { FBarCode->SetBarCodeRotation(value); }

    // The symbol keeps only the characters its symbology accepts.
    void SetText(const QString& value) override;
    QString GetText() const override;
    void SetLeft(double value) override;
    double GetTop() const override;
    void SetTop(double value) override;
    void SetWidth(double value) override;
    void SetHeight(double value) override;
    void Resize() override;
    void BeforeReport() override;
    void AfterReport() override;
    void Print(TBaseReport* report) override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;

    // A new symbology object of the component's class.
    virtual std::unique_ptr<TQPBarsBase> CreateBarCode() const = 0;

protected:
    explicit TZarvBaseBarCode(TComponent* owner);
    // Takes the symbol the concrete constructor made and sets the base's
    // defaults on it.
    void InitBarCode(std::unique_ptr<TQPBarsBase> barCode);
    void Notification(TComponent* component, TOperation operation) override;

private:
    // Places the symbol's anchor for its justification at the component's
    // box.
    void AnchorSymbol();

    QString FOldText;
    std::unique_ptr<TQPBarsBase> FBarCode;
    std::unique_ptr<TFont> FFont;
    bool FAutoSize = true;
    QString FDataField;
    TZarvComponent* FDataView = nullptr;
};

class TZarvPostNetBarCode : public TZarvBaseBarCode {
public:
    explicit TZarvPostNetBarCode(TComponent* owner);
    std::unique_ptr<TQPBarsBase> CreateBarCode() const override;
    // Always 0.125 inch, whatever is asked.
    void SetHeight(double value) override;
};

class TZarvI2of5BarCode : public TZarvBaseBarCode {
public:
    explicit TZarvI2of5BarCode(TComponent* owner);
    std::unique_ptr<TQPBarsBase> CreateBarCode() const override;
};

class TZarvCode39BarCode : public TZarvBaseBarCode {
public:
    explicit TZarvCode39BarCode(TComponent* owner);
    std::unique_ptr<TQPBarsBase> CreateBarCode() const override;
    bool Extended() const;
    void SetExtended(bool value);
};

class TZarvCode128BarCode : public TZarvBaseBarCode {
public:
    explicit TZarvCode128BarCode(TComponent* owner);
    std::unique_ptr<TQPBarsBase> CreateBarCode() const override;
    TCodePage128 CodePage() const;
    void SetCodePage(TCodePage128 value);
    bool Optimize() const;
    void SetOptimize(bool value);
};

class TZarvUPCBarCode : public TZarvBaseBarCode {
public:
    explicit TZarvUPCBarCode(TComponent* owner);
    std::unique_ptr<TQPBarsBase> CreateBarCode() const override;
};

class TZarvEANBarCode : public TZarvBaseBarCode {
public:
    explicit TZarvEANBarCode(TComponent* owner);
    std::unique_ptr<TQPBarsBase> CreateBarCode() const override;
};
