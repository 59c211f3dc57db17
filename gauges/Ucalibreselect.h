#pragma once
// The gauge picker "Select gage": one picture button with a caption label
// per gauge group of the main window's current family on the left, one
// button per gauge type of the chosen group on the right. Choosing a type
// stores group and item into the main window's current gauge type and
// closes the window with OK; the main window sets the caption (the family's
// name) before it shows the window.
//
// The form holds the controls of the first two groups and types; the others
// are clones made while the window shows (each from the two before it, one
// step further down) and deleted when it hides.
#include "platform/forms/Buttons.h"
#include "platform/forms/ExtCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/forms/ImgList.h"
#include "platform/forms/StdCtrls.h"

#include <vector>

class TfCalibreSelect : public TForm {
public:
    explicit TfCalibreSelect(TComponent* owner);

    void FormCreate(TObject* sender);
    // Builds the group buttons of the current family and chooses group 0.
    void FormShow(TObject* sender);
    // Every group button and group label, clones included.
    void bType1Click(TObject* sender);
    // Every type button: the item is the button's index.
    void bCal1Click(TObject* sender);
    // Deletes the clones.
    void FormHide(TObject* sender);
    void FormDestroy(TObject* sender);

    // The image list of a family's group pictures.
    TImageList* FamilyImages(int family) const;

    TSpeedButton* bType1;
    TSpeedButton* bType2;
    TLabel* lType1;
    TLabel* lType2;
    TButton* bCal1;
    TButton* bCal2;
    TButton* bCancel;
    TCheckBox* cTolUsa; // "Metric tolerances calculated according to ANSI rules"
    TLabel* lNormLabel; // the standard of the chosen group; null in the workpiece picker
    TImage* Image1;     // scratch bitmap of the glyphs
    TImageList* ILISO;
    TImageList* ILANSIASME;
    TImageList* ILSCA;
    TImageList* ILSpecial;
    TImageList* ILGAS;
    TImageList* ILBUTTRESS;
    TImageList* ILWhitworth;

    TColor SelectedColour = 0; // label colour of the chosen group (taken at the first show)
    TColor PlainColour = 0;    // label colour of the other groups
    std::vector<TSpeedButton*> GroupButtons;
    std::vector<TLabel*> GroupLabels;
    std::vector<TButton*> TypeButtons;

protected:
    // The workpiece picker's construction from its own form.
    TfCalibreSelect(TComponent* owner, const QString& formResource);
    // Group count and caption text of group 0 in this picker.
    virtual int GroupCount(int family) const;
    virtual int GroupCaptionBase(int family) const;
    // Fills the type buttons of a group (the lists already hold only the
    // form's buttons).
    virtual void FillTypes(int family, int group);
    // Deletes the clones of a list, the form's first two controls kept.
    template <class T> static void DeleteClones(std::vector<T*>& list);

private:
    void Build(const QString& formResource);

    bool FPicturesLoaded = false;
    void SetGlyph(TSpeedButton* button, TImageList* images, int index);
};

extern TfCalibreSelect* fCalibreSelect;

// Loads the group pictures of the seven families from the resources into
// the picker's image lists; a family whose picture is missing keeps an
// empty list (its buttons show no glyph).
void LoadGroupPictures(TfCalibreSelect* picker);
