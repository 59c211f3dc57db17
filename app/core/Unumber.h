#pragma once
// Edit controls bound to lengths. The values are kept in millimetres (the
// empty value for "no value") and shown in the unit, resolution and number
// format of the list's own readout.
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

// One binding: an edit and its value in millimetres, with the text the list
// last wrote into the edit and the text the value was typed as.
class NUMBER {
public:
    NUMBER(TNumberEdit* control, double value) : Control(control), Value(value) {}

    TNumberEdit* Control; // not owned
    double Value;         // mm; the empty value when there is none
    // The text Refresh wrote for Value; none once the edit was read back.
    std::optional<QString> Shown;
    // The text the user typed for Value and the readout's unit then; empty
    // for a value set by SetValue.
    QString Typed;
    int TypedUnit = 0;
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
    // Sets the value that the edit's typed text stands for when the readout
    // cannot read that text (an inch fraction read by its own parser): the
    // typed text stays the value's.
    void SetTypedValue(TNumberEdit* control, double value);
    // false and 0 when the edit is not bound or its value is empty.
    bool GetValue(TNumberEdit* control, double& value) const;
    // Takes the edit's text as a typed value in the readout's unit: the
    // value becomes millimetres, or empty when the text is empty or not a
    // number. false only when nothing is bound.
    bool ReadEdit(TNumberEdit* control);
    // Writes every bound edit from its value ("" for an empty value).
    void Refresh();
    // true when the edit still shows the text Refresh last wrote for its
    // value: the value is then exact, whatever the text rounds it to, and
    // reading the text back would round it. false for a text typed since (or
    // an edit never refreshed, or not bound).
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

    DISPLAY FReadout;
    std::vector<std::unique_ptr<NUMBER>> FNumbers;
};
