#include "gauges/Ucalibreselect.h"

#include "app/Upictures.h"
#include "app/Utessvar.h"
#include "gauges/Ugaugefamily.h"
#include "platform/os/Modules.h"

TfCalibreSelect* fCalibreSelect = nullptr;

namespace {

// The group pictures of a family: one JPEG strip of 56 px wide pictures,
// drawn by tools/pictures.
const char* const GroupPictures[ThreadFamilyCount] = {
    "GROUPS_ISO_JPG", "GROUPS_ANSIASME_JPG", "GROUPS_SPLINE_JPG",    "GROUPS_SPECIAL_JPG",
    "GROUPS_GAS_JPG", "GROUPS_BUTTRESS_JPG", "GROUPS_WHITWORTH_JPG",
};

// JPEG leaves faint noise in the white ground of the pictures; a glyph
// takes exactly its corner colour as transparent, so the ground is made
// pure white again.
QImage WhiteGround(const QImage& picture)
{
    constexpr int Threshold = 232;
    QImage image = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qRed(row[x]) >= Threshold && qGreen(row[x]) >= Threshold && qBlue(row[x]) >= Threshold)
                row[x] = qRgb(255, 255, 255);
        }
    }
    return image;
}

int CurrentFamily()
{
    return fTessvar ? fTessvar->CurrentType.Family : 0;
}

template <class T> int IndexOf(const std::vector<T*>& list, const TObject* sender)
{
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == sender)
            return int(i);
    }
    return -1;
}

// The common part of a clone: made from b, one step (b - a) further down.
void PlaceClone(TControl* clone, const TControl* a, const TControl* b)
{
    clone->SetParent(b->Parent());
    clone->SetEvent(QStringLiteral("OnClick"), b->Event(QStringLiteral("OnClick")), TEventKind::Notify);
    clone->SetBounds(b->Left(), b->Top() + (b->Top() - a->Top()), b->Width(), b->Height());
    clone->SetCursor(b->Cursor());
}

} // namespace

TfCalibreSelect::TfCalibreSelect(TComponent* owner) : TForm(owner)
{
    Build(QStringLiteral("TFCALIBRESELECT"));
}

TfCalibreSelect::TfCalibreSelect(TComponent* owner, const QString& formResource) : TForm(owner)
{
    Build(formResource);
}

void TfCalibreSelect::Build(const QString& formResource)
{
    BindMethod("FormCreate", &TfCalibreSelect::FormCreate);
    BindMethod("FormShow", &TfCalibreSelect::FormShow);
    BindMethod("FormHide", &TfCalibreSelect::FormHide);
    BindMethod("FormDestroy", &TfCalibreSelect::FormDestroy);
    BindMethod("bType1Click", &TfCalibreSelect::bType1Click);
    BindMethod("bCal1Click", &TfCalibreSelect::bCal1Click);
    LoadForm(formResource);
    bType1 = RequireOwned<TSpeedButton>(this, "bType1");
    bType2 = RequireOwned<TSpeedButton>(this, "bType2");
    lType1 = RequireOwned<TLabel>(this, "lType1");
    lType2 = RequireOwned<TLabel>(this, "lType2");
    bCal1 = RequireOwned<TButton>(this, "bCal1");
    bCal2 = RequireOwned<TButton>(this, "bCal2");
    bCancel = RequireOwned<TButton>(this, "bCancel");
    cTolUsa = RequireOwned<TCheckBox>(this, "cTolUsa");
    lNormLabel = FindOwned<TLabel>(this, "lNormLabel");
    Image1 = RequireOwned<TImage>(this, "Image1");
    ILISO = RequireOwned<TImageList>(this, "ILISO");
    ILANSIASME = RequireOwned<TImageList>(this, "ILANSIASME");
    ILSCA = RequireOwned<TImageList>(this, "ILSCA");
    ILSpecial = RequireOwned<TImageList>(this, "ILSpecial");
    ILGAS = RequireOwned<TImageList>(this, "ILGAS");
    ILBUTTRESS = RequireOwned<TImageList>(this, "ILBUTTRESS");
    ILWhitworth = RequireOwned<TImageList>(this, "ILWhitworth");
}

void TfCalibreSelect::FormCreate(TObject*)
{
    GroupButtons = {bType1, bType2};
    GroupLabels = {lType1, lType2};
    TypeButtons = {bCal1, bCal2};
}

TImageList* TfCalibreSelect::FamilyImages(int family) const
{
    return FindOwned<TImageList>(this, QString::fromLatin1(GaugeFamily(family).ImageList));
}

int TfCalibreSelect::GroupCount(int family) const
{
    return GaugeFamily(family).Groups;
}

int TfCalibreSelect::GroupCaptionBase(int family) const
{
    return GaugeFamily(family).CaptionBase;
}

void TfCalibreSelect::FormShow(TObject*)
{
    // The pictures are decoded when the picker first shows, not while the
    // program starts.
    if (!FPicturesLoaded) {
        FPicturesLoaded = true;
        LoadGroupPictures(this);
    }
    if (SelectedColour == 0)
        SelectedColour = lType1->Color();
    if (PlainColour == 0)
        PlainColour = lType2->Color();
    DeleteClones(GroupButtons);
    DeleteClones(GroupLabels);
    cTolUsa->Hide();

    const int family = CurrentFamily();
    const int groups = GroupCount(family);
    const int captions = GroupCaptionBase(family);
    TImageList* images = FamilyImages(family);
    if (family == FamilyIso && fTessvar && fTessvar->UsaUsaFlag)
        cTolUsa->Show();

    SetGlyph(bType1, images, 0);
    SetGlyph(bType2, images, 1);
    lType1->SetCaption(LoadStr(captions));
    lType2->SetCaption(LoadStr(captions + 1));
    lType1->SetColor(SelectedColour);
    lType2->SetColor(PlainColour);

    for (int i = 2; i < groups; ++i) {
        const TSpeedButton* a = GroupButtons[size_t(i - 2)];
        const TSpeedButton* b = GroupButtons[size_t(i - 1)];
        auto* button = new TSpeedButton(this);
        PlaceClone(button, a, b);
        SetGlyph(button, images, i);
        GroupButtons.push_back(button);

        const TLabel* la = GroupLabels[size_t(i - 2)];
        const TLabel* lb = GroupLabels[size_t(i - 1)];
        auto* label = new TLabel(this);
        label->SetAutoSize(lb->AutoSize()); // the look of the form's labels
        label->SetLayout(lb->Layout());
        PlaceClone(label, la, lb);
        label->SetFont(lb->Font());
        label->SetColor(lb->Color());
        label->SetCaption(LoadStr(captions + i));
        GroupLabels.push_back(label);
    }
    bType1Click(bType1);
}

void TfCalibreSelect::bType1Click(TObject* sender)
{
    int group = IndexOf(GroupButtons, sender);
    if (group < 0)
        group = IndexOf(GroupLabels, sender);
    if (group < 0 || !fTessvar)
        return;
    fTessvar->CurrentType.Group = group;
    DeleteClones(TypeButtons);
    TypeButtons = {bCal1, bCal2};
    FillTypes(fTessvar->CurrentType.Family, group);
    for (size_t i = 0; i < GroupLabels.size(); ++i)
        GroupLabels[i]->SetColor(int(i) == group ? SelectedColour : PlainColour);
}

void TfCalibreSelect::FillTypes(int family, int group)
{
    CALIBRETYPELIST& catalogue = fTessvar->TypeCatalogue;
    // A missing type hides its button: a group without types offers none.
    for (int item = 0; item < 2; ++item) {
        QString name;
        const bool found = catalogue.GetName(family, group, item, name);
        TypeButtons[size_t(item)]->SetCaption(name);
        TypeButtons[size_t(item)]->SetVisible(found);
    }
    QString name;
    for (int item = 2; catalogue.GetName(family, group, item, name); ++item) {
        const TButton* a = TypeButtons[size_t(item - 2)];
        const TButton* b = TypeButtons[size_t(item - 1)];
        auto* button = new TButton(this);
        PlaceClone(button, a, b);
        button->SetFont(b->Font());
        button->SetCaption(name);
        TypeButtons.push_back(button);
    }
    if (lNormLabel) {
        lNormLabel->SetCaption(QString());
        lNormLabel->SetCaption(StandardName(family, group));
    }
}

void TfCalibreSelect::bCal1Click(TObject* sender)
{
    const int item = IndexOf(TypeButtons, sender);
    if (item < 0 || !fTessvar)
        return;
    fTessvar->CurrentType.Item = item;
    SetModalResult(mrOk);
}

void TfCalibreSelect::FormHide(TObject*)
{
    DeleteClones(GroupButtons);
    DeleteClones(GroupLabels);
    DeleteClones(TypeButtons);
}

void TfCalibreSelect::FormDestroy(TObject*)
{
    GroupButtons.clear();
    GroupLabels.clear();
    TypeButtons.clear();
}

template <class T> void TfCalibreSelect::DeleteClones(std::vector<T*>& list)
{
    while (list.size() > 2) {
        delete list.back();
        list.pop_back();
    }
}

void TfCalibreSelect::SetGlyph(TSpeedButton* button, TImageList* images, int index)
{
    // The picture goes through the scratch bitmap; a missing one leaves it
    // empty, and the button without a glyph.
    Image1->Picture()->Clear();
    TBitmap* scratch = Image1->Picture()->Bitmap();
    if (images)
        images->GetBitmap(index, scratch);
    button->SetGlyph(scratch);
}

void LoadGroupPictures(TfCalibreSelect* picker)
{
    for (int family = 0; family < ThreadFamilyCount; ++family)
        LoadResourceImageList(picker->FamilyImages(family), QString::fromLatin1(GroupPictures[family]), WhiteGround);
}
