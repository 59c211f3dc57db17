#pragma once
// ZvCsStd: the standard printable components of a report page or band.
//
// Texts: TZarvText prints one line (optionally truncated to its width or
// turned), TZarvMemo prints wrapped text that may carry in-text codes or RTF,
// takes mail-merge replacements, and continues across page breaks while its
// band restarts. TZarvFontMaster is a font that text components can follow,
// TZarvPageNumInit restarts the page numbering on the page it prints on.
//
// Sections and images: TZarvSection is a container rectangle whose OnPrint
// script draws on the report canvas with the section's corner as origin, and
// which can pull itself into the paper's printable area (WasteFit). The image
// components print a picture kept in the project, read from a file or taken
// from a data field, scaled to their rectangle by MatchSide; without a
// picture they print a grey box with a cross.
//
// All geometry is in inches. Fonts are TFont objects; a new one is Arial,
// 10 points, no style, black. The designer's painting and handles are not
// part of this program.
#include "report/model/ZvClass.h"
#include "report/model/ZvEvent.h"

#include <QString>

#include <memory>

class TMemoBuf;
class TStream;
class TGraphic;

// Records the registration procedure of the standard classes under "ZVCL".
// Further calls do nothing.
void RecordStandardComponentProcs();

// The font components start with.
std::unique_ptr<TFont> NewZarvFont();

class TZarvFontMaster : public TZarvComponent {
public:
    explicit TZarvFontMaster(TComponent* owner);
    ~TZarvFontMaster() override;

    TFont* Font() const { return FFont.get(); }
    // Copies the given font into the own one.
    void SetFont(TFont* value);

private:
    std::unique_ptr<TFont> FFont;
};

class TZarvCustomText : public TZarvControl {
public:
    explicit TZarvCustomText(TComponent* owner);
    ~TZarvCustomText() override;

    TFont* Font() const { return FFont.get(); }
    void SetFont(TFont* value);
    TZarvFontMaster* FontMirror() const { return FFontMirror; }
    void SetFontMirror(TZarvFontMaster* value);
    // The font printing uses: the font master's when set, else the own.
    const TFont& PrintFont() const;
    TZarvStringEvent* OnGetText() const { return FOnGetText.get(); }
    void SetOnGetText(TZarvStringEvent* value);
    // Designer only: the design text is shown between "[" and "]".
    bool BracketText = false;

    void SetFontAttr(TFontAttribute index, TFont* value) override;
    TFont* GetFontAttr(TFontAttribute index) const override;
    void SetText(const QString& value) override;
    QString GetText() const override;
    void SetFontJustify(TPrintJustify value) override;
    TPrintJustify GetFontJustify() const override;
    void SetForeColor(TColor value) override;
    TColor GetForeColor() const override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;

protected:
    // The text after the OnGetText script, when there is one, rewrote it.
    QString DoGetText(const QString& text);
    void Notification(TComponent* component, TOperation operation) override;
    const QString& StoredText() const { return FText; }

private:
    std::unique_ptr<TFont> FFont;
    TPrintJustify FFontJustify = TPrintJustify::pjLeft;
    QString FText;
    TZarvFontMaster* FFontMirror = nullptr;
    std::unique_ptr<TZarvStringEvent> FOnGetText;
};

class TZarvText : public TZarvCustomText {
public:
    explicit TZarvText(TComponent* owner);

    bool Truncate() const { return FTruncate; }
    void SetTruncate(bool value) { FTruncate = value; }
    // Font rotation, degrees counter-clockwise.
    int Rotation() const { return FRotation; }
    void SetRotation(int value) { FRotation = value; }
    // The height follows the font: its size in points / 60, inches.
    double GetHeight() const override;

    void Print(TBaseReport* report) override;

private:
    bool FTruncate = false;
    int FRotation = 0;
};

// One search/replace pair of a memo's mail merge. ReplaceString is a data
// text expression, evaluated when the memo is prepared.
class TZarvMailMergeItem : public TPersistent {
public:
    const QString& SearchToken() const { return FSearchToken; }
    void SetSearchToken(const QString& value) { FSearchToken = value; }
    const QString& ReplaceString() const { return FReplaceString; }
    void SetReplaceString(const QString& value) { FReplaceString = value; }
    bool CaseMatters() const { return FCaseMatters; }
    void SetCaseMatters(bool value) { FCaseMatters = value; }

private:
    QString FSearchToken;
    QString FReplaceString;
    bool FCaseMatters = false;
};

class TZarvMailMergeList : public TZarvPersistentList {
public:
    // Always a mail-merge item, whatever class the stream names.
    TPersistent* CreateItem(const QString& className, TComponent* rootOwner) override;
};

class TZarvMemo : public TZarvCustomText {
public:
    explicit TZarvMemo(TComponent* owner);
    ~TZarvMemo() override;

    bool ExpandParent() const { return FExpandParent; }
    void SetExpandParent(bool value) { FExpandParent = value; }
    bool Truncate() const { return FTruncate; }
    void SetTruncate(bool value) { FTruncate = value; }
    TZarvMailMergeList* MailMergeItems() const { return FMailMergeItems.get(); }
    // Replaces the items by copies of the given ones.
    void SetMailMergeItems(TZarvPersistentList* value);
    bool ContainsRTF() const { return FContainsRTF; }
    void SetContainsRTF(bool value) { FContainsRTF = value; }
    // The text still to print; null before the memo is prepared.
    TMemoBuf* MemoBuf() const { return FMemoBuf.get(); }

    bool GetDonePrinting() const override;
    void BeforeReport() override;
    void AfterReport() override;
    void Print(TBaseReport* report) override;
    void BeginDataPass() override;
    double HeightToPrint() const override;

private:
    // Loads the text into a new buffer and applies the mail merge; nothing
    // while the memo is prepared.
    void Prepare();
    void FreeMemoBuf();
    void AssignPrintFont(TBaseReport* report) const;
    TBaseReport* ProjectReport() const;

    TZarvAnchor FSaveAnchor = 0;
    bool FExpandParent = true;
    bool FTruncate = false;
    bool FPrepared = false;
    std::unique_ptr<TMemoBuf> FMemoBuf;
    std::unique_ptr<TZarvMailMergeList> FMailMergeItems;
    bool FContainsRTF = false;
};

class TZarvPageNumInit : public TZarvComponent {
public:
    explicit TZarvPageNumInit(TComponent* owner);

    int InitValue() const { return FInitValue; }
    void SetInitValue(int value) { FInitValue = value; }
    // A data view (TZarvBaseDataView); anything else is refused.
    TZarvComponent* InitDataView() const { return FInitDataView; }
    void SetInitDataView(TZarvComponent* value);
    const QString& InitDataField() const { return FInitDataField; }
    void SetInitDataField(const QString& value) { FInitDataField = value; }

    // Numbers the page it prints on InitValue (or the data field's number).
    void Print(TBaseReport* report) override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    int FInitValue = 1;
    TZarvComponent* FInitDataView = nullptr;
    QString FInitDataField;
};

// The OnPrint script of a section; it gets the report canvas as "Report".
class TZarvPrintEvent : public TZarvSimpleEvent {
public:
    TBaseReport* FReport = nullptr;

    bool AllowSuspend() const override { return true; }
    void DefineParams() override;
    QString ParamSource() const override { return QStringLiteral("Report: TBaseReport"); }
};

class TZarvSection : public TZarvContainerControl {
public:
    explicit TZarvSection(TComponent* owner);
    ~TZarvSection() override;

    bool WasteFit() const { return FWasteFit; }
    void SetWasteFit(bool value) { FWasteFit = value; }
    TZarvPrintEvent* OnPrint() const { return FOnPrint.get(); }
    void SetOnPrint(TZarvPrintEvent* value);

    bool GetDonePrinting() const override;
    void BeforePrint() override;
    void Print(TBaseReport* report) override;

private:
    bool FWasteFit = false;
    std::unique_ptr<TZarvPrintEvent> FOnPrint;
};

enum class TMatchSide : uint8_t { msWidth, msHeight, msBoth, msInside };

class TZarvBaseImage : public TZarvControl {
public:
    explicit TZarvBaseImage(TComponent* owner);

    TMatchSide MatchSide() const { return FMatchSide; }
    void SetMatchSide(TMatchSide value);
    const QString& FileLink() const { return FFileLink; }
    // Blanks around the name are dropped.
    void SetFileLink(const QString& value);
    const QString& DataField() const { return FDataField; }
    void SetDataField(const QString& value);
    // A data view (TZarvBaseDataView); anything else is refused.
    TZarvComponent* DataView() const { return FDataView; }
    void SetDataView(TZarvComponent* value);

    // Loads the picture of one print; a stream that holds none leaves the
    // stored picture in use.
    virtual void LoadImageStream(TStream& stream) = 0;
    virtual bool ImageValid() const = 0;
    virtual void ClearAltImage() = 0;
    virtual int ImageWidth() const = 0;
    virtual int ImageHeight() const = 0;
    virtual void PrintImage(TBaseReport* report, double x1, double y1, double x2, double y2) = 0;
    virtual QString ImageName() const;
    virtual QString ImageFilter() const;
    // Loads an existing file through LoadImageStream; nothing otherwise.
    void LoadImageFile(const QString& fileName);

    void Print(TBaseReport* report) override;
    void ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    // Loads the picture of this print; false when nothing may print.
    bool LoadSource();
    void PrintPlaceholder(TBaseReport* report, double l, double t, double r, double b) const;

    TMatchSide FMatchSide = TMatchSide::msWidth;
    QString FFileLink;
    QString FDataField;
    TZarvComponent* FDataView = nullptr;
};

class TZarvGraphicImage : public TZarvBaseImage {
public:
    explicit TZarvGraphicImage(TComponent* owner);
    ~TZarvGraphicImage() override;

    // The picture stored in the project.
    TGraphic* Image() const { return FImage.get(); }
    // Replaces the stored picture by a copy of value's (null: an empty one).
    void SetImage(TGraphic* value);
    // The picture of this print when one was loaded, else the stored one.
    TGraphic* CurrentGraphic() const { return FAltImage ? FAltImage.get() : FImage.get(); }

    void LoadImageStream(TStream& stream) override;
    void ClearAltImage() override;
    int ImageWidth() const override;
    int ImageHeight() const override;

protected:
    virtual std::unique_ptr<TGraphic> CreateGraphic() const = 0;
    // Reads a picture from a stream into a graphic of this kind; false when
    // the bytes hold none.
    virtual bool ReadGraphic(TGraphic& graphic, TStream& stream) const = 0;
    // For the constructors of the descendants.
    void InitImage();

private:
    std::unique_ptr<TGraphic> FImage;
    std::unique_ptr<TGraphic> FAltImage;
};

class TZarvBitmap : public TZarvGraphicImage {
public:
    explicit TZarvBitmap(TComponent* owner);

    bool ImageValid() const override;
    void PrintImage(TBaseReport* report, double x1, double y1, double x2, double y2) override;
    QString ImageName() const override;
    QString ImageFilter() const override;

protected:
    std::unique_ptr<TGraphic> CreateGraphic() const override;
    bool ReadGraphic(TGraphic& graphic, TStream& stream) const override;
};

class TZarvMetaFile : public TZarvGraphicImage {
public:
    explicit TZarvMetaFile(TComponent* owner);

    // A metafile is valid only with a handle; this program has no metafile
    // renderer, so none is, and the placeholder prints.
    bool ImageValid() const override;
    void PrintImage(TBaseReport* report, double x1, double y1, double x2, double y2) override;
    QString ImageName() const override;
    QString ImageFilter() const override;

protected:
    std::unique_ptr<TGraphic> CreateGraphic() const override;
    bool ReadGraphic(TGraphic& graphic, TStream& stream) const override;
};
