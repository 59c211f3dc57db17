#pragma once
// The readout of one measuring channel: takes a raw length in millimetres
// from a value source, applies a zero and scale factors, converts it to the
// selected unit and formats it as the 12-character text of the length fields
// ("  +012.345.7"). With the stub source installed by Reset (always 0) a
// readout is the unit, resolution and number-format converter of the length
// edits: PresetText(typed text) then ReadValue gives millimetres, and
// SetZero(mm) then ReadFormatted gives the text.
//
// Each readout reads the display settings "C_TMac", "C_TPez" and
// "NumFormat" (section "Software\Dravinel\Pelloview\8.0") from the Ostrival
// data folder when it is constructed.
#include <QString>

#include <array>
#include <cstdint>

// Reads the raw value (mm) of a channel; status 1 means a zero search is in
// progress.
using TDisplayValueSource = int (*)(uint16_t channel, double& value);
using TDisplayStatusSource = uint32_t (*)();
using TDisplayValueFilter = double (*)(double value);

// The notice shown while the instrument searches its zero. The window lives
// with the main window and registers itself; without one nothing is shown.
class TZeroSearchNotice {
public:
    virtual ~TZeroSearchNotice();
    virtual bool IsShown() const = 0;
    virtual void ShowNotice() = 0;
    virtual void HideNotice() = 0;
};
void SetZeroSearchNotice(TZeroSearchNotice* notice);

class DISPLAY {
public:
    DISPLAY();
    DISPLAY(const DISPLAY&) = delete;
    DISPLAY& operator=(const DISPLAY&) = delete;

    // Installs the stub value source (0.0, status 0) and a status-word source
    // giving 0; the notice is never shown, compensation off, factors 1.0.
    void Reset();
    // Copies the source, status, channel, unit, direction, zero, resolution,
    // last values, compensation and coefficients of another readout; keeps
    // its own filter, notice flag, number format and format strings.
    DISPLAY& Assign(const DISPLAY& other);

    void SetUnit(int unit) { FUnit = unit; } // 0 millimetre, 1 inch
    int GetUnit() const { return FUnit; }
    void SetResolution(int resolution) { FResolution = resolution; } // 0..3
    int GetResolution() const { return FResolution; }
    // An instrument's sources (either may be null).
    void SetValueSource(TDisplayValueSource source, TDisplayStatusSource statusSource);
    void SetValueFilter(TDisplayValueFilter filter, bool filtered);
    void SetChannel(uint16_t channel) { FChannel = channel; }
    void SetDirection(int direction) { FDirection = direction; }

    double ReadValue();       // mm
    double ReadValueInUnit(); // in the selected unit
    QString ReadFormatted();  // FormatValue(ReadValueInUnit())
    // The text of a value already in the selected unit: sign, digits of the
    // unit's and resolution's format, blanks in front up to 12 characters. A
    // value that is not finite, or too large for the digits, gives "".
    QString FormatValue(double value) const;

    // Makes the current reading show v (mm).
    void SetZero(double v);
    // Parses a typed value in the selected unit (blanks removed, points after
    // the first dropped, "." or "," as separator) and sets the zero so that
    // the channel reads it; false (and the zero set from 0.0) when the text
    // is empty or not a number.
    bool PresetText(const QString& text);

    double Zero() const { return FZero; } // mm
    double LastValue() const { return FLastValue; }
    double LastValueInUnit() const { return FLastValueInUnit; }
    int NumFormat() const { return FNumFormat; }
    double MachineCoefficient() const { return FMachineCoefficient; }
    double WorkpieceCoefficient() const { return FWorkpieceCoefficient; }
    const QString& MmFormat(int resolution) const { return FMmFormats.at(size_t(resolution)); }

private:
    // The raw value (mm) and status of the source; 0 and 0 without one.
    double ReadRaw(int& status);
    double Scale(double raw);
    double ToUnit(double mm) const;
    void ReadSettings();
    void SetZeroFromRaw(double v);

    TDisplayValueSource FValueSource = nullptr;
    TDisplayStatusSource FStatusSource = nullptr;
    TDisplayValueFilter FValueFilter = nullptr;
    uint32_t FStatusWord = 0;
    uint16_t FChannel = 0;
    int FUnit = 0;
    int FDirection = 1;
    double FZero = 0; // mm
    int FResolution = 0;
    int FNoticeOff = 0;
    double FLastValue = 0; // mm
    double FLastValueInUnit = 0;
    int FCompensation = 1;
    double FMachineCoefficient = 8.0;
    double FWorkpieceCoefficient = 11.5;
    double FFactorBeforeZero = 1.0;
    double FFactorAfterZero = 1.0;
    int FNumFormat = 0;
    bool FFiltered = false;
    double FScaledInUnit = 0; // unit conversion kept by the scaling step
    double FFilterResult = 0;
    std::array<QString, 4> FMmFormats; // printf formats by resolution
};
