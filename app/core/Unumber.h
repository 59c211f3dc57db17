#pragma once
// Edit controls bound to lengths. The values are kept in millimetres (the
// empty value for "no value") and shown in the unit, resolution and number
// format of the list's own readout.
#include "app/core/Unan.h"
#include "app/core/Uplvzero.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

// The side of an edit box that a binding needs; the forms layer implements
// it over its edit control.
class TNumberEdit {
public:
    virtual ~TNumberEdit();
    virtual QString Text() const = 0;
    virtual void SetText(const QString& text) = 0;
};

// A length as a calculation reads it from a bound edit.
struct TLengthInput {
    double Value = NanValue(); // mm; the empty value when the text is empty or no number
    // The edit shows the text the list wrote for the value it holds (or a
    // text that reads as the same number), or a text typed that the window
    // has read itself: Value is the value held, exactly as it was typed or
    // calculated, whatever unit the text rounds it to.
    bool Held = false;
    // What the user typed for the value, and the readout's unit then: the
    // edit's text when not held; empty for a value set or calculated.
    QString Typed;
    int TypedUnit = 0;
};

// One binding: an edit and its value in millimetres, with the text the value
// was typed as and the text the list last wrote into the edit.
class NUMBER {
public:
    NUMBER(TNumberEdit* control, double value) : Control(control), Value(value) {}

    // What Refresh wrote into the edit, and the value, with its typed text,
    // it wrote that for.
    struct TShown {
        QString Text;
        double Value; // mm
        QString Typed;
        int TypedUnit;
    };

    TNumberEdit* Control; // not owned
    double Value;         // mm; the empty value when there is none
    // The text the user typed for Value and the readout's unit then; empty
    // for a value set by SetValue.
    QString Typed;
    int TypedUnit = 0;
    // The edit shows Typed, a text the readout cannot read, and Value is what
    // the window read it as (HoldTypedValue).
    bool TypedHeld = false;
    // None once a value was set since the last Refresh.
    std::optional<TShown> Shown;
};

class NCLIST {
public:
    NCLIST();
    ~NCLIST();
    NCLIST(const NCLIST&) = delete;
    NCLIST& operator=(const NCLIST&) = delete;

    // Binds an edit to a value; an edit bound twice keeps both bindings and
    // every look-up finds the first.
    bool Add(TNumberEdit* control, double value);
    // Sets the value of the first binding of the edit (nothing when it is not
    // bound); the edit shows it at the next Refresh. The value was not typed.
    void SetValue(TNumberEdit* control, double value);
    // Sets the value a calculation read from the edit's typed text (an inch
    // fraction read by the calculator's own parser): the edit shows the
    // value at the next Refresh, and the typed text stays the value's.
    void SetTypedValue(TNumberEdit* control, double value);
    // The text just typed into the edit, which the readout cannot read,
    // stands for value (the window read it by other means): the edit keeps
    // that text through every Refresh in the unit it was typed in, and a
    // calculation takes value for it while it stands unchanged.
    void HoldTypedValue(TNumberEdit* control, double value);
    // false and 0 when the edit is not bound or its value is empty.
    bool GetValue(TNumberEdit* control, double& value) const;
    // Takes the value the edit's text stands for, as LengthOf reads it: a
    // text typed now becomes millimetres in the readout's unit, or empty
    // when it is empty or not a number. false only when nothing is bound.
    bool ReadEdit(TNumberEdit* control);
    // Writes every bound edit from its value ("" for an empty value), except
    // an edit that shows a held typed text in the unit it was typed in.
    void Refresh();
    // The same for the edit alone (its first binding).
    void Refresh(TNumberEdit* control);
    // How a calculation reads a length from a bound edit, in three states:
    //   the edit shows the text the list wrote for the value it holds now,
    //     or a text the readout reads as the same number: the value held;
    //   it shows, unchanged and in the unit it was typed in, a text the
    //     window has read itself (HoldTypedValue): the value held;
    //   else the text is read now, as typed, through the readout.
    // A held value is exact, whatever unit its text rounds it to; reading
    // that text back would round it. An edit that is not bound is read as
    // typed; a null one is empty.
    TLengthInput LengthOf(TNumberEdit* control);
    // true while the edit shows the text Refresh last wrote for the value it
    // holds now: false for a text typed since, a value set or typed since
    // (until the next Refresh), an edit never refreshed or not bound.
    bool ShowsValue(TNumberEdit* control) const;
    // The text the edit's value was typed as, and the readout's unit then;
    // false (text empty) for a value that was set rather than typed.
    bool TypedText(TNumberEdit* control, QString& text, int& unit) const;
    // Removes every binding.
    void Clear();

    DISPLAY& Readout() { return FReadout; }
    const DISPLAY& Readout() const { return FReadout; }
    int Count() const { return int(FNumbers.size()); }

private:
    NUMBER* Find(TNumberEdit* control) const;
    // The length a text gives through the readout, in mm; the empty value
    // when the text is empty or no number.
    double ReadText(const QString& text);
    TLengthInput Read(const NUMBER& number, bool& typedHeld);
    void Write(NUMBER& number);

    DISPLAY FReadout;
    std::vector<std::unique_ptr<NUMBER>> FNumbers;
};
