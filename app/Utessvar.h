#pragma once
// The main window: the thread-family buttons of the "Tolerance" tab, the
// measuring tab ("Measures"), the unit converter ("Unit"), the thermal-
// expansion tool ("Tools") and the settings group below the tabs.
//
// It owns the state the other windows read and write: the main readout, the
// length list that binds the 18 length edits of the Measures and Tools tabs
// (values in mm, shown in the unit of the moment), the current gauge type
// and the gauge-type catalogue, and the settings flags. FormShow sets it all
// up once, when the window first shows.
//
// The gauge pickers and process windows sit above this layer; the family
// buttons find them among the application's windows by name
// ("fCalibreSelect", "fProcess", "fCalibreSelect2", "fProcess2") and end
// quietly, as a cancelled picker does, while they are missing.
#include "app/core/Ucalibretype.h"
#include "app/core/Unumber.h"
#include "app/core/Uplvzero.h"
#include "platform/forms/ComCtrls.h"
#include "platform/forms/ExtCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/forms/StdCtrls.h"

#include <QString>

#include <initializer_list>
#include <memory>

class CONVERT;
class TZvProject;

// The five converters of the "Unit" tab.
enum class TConverterKind { Length, Temperature, Mass, Angle, Pressure };

// The settings of the program: key path of the store in its data folder.
inline const QString TessvarSettingsKey = QStringLiteral("Software\\Dravinel\\Tessvar");
// The maker's page behind the web label of the settings group.
inline const QString MakerWebAddress = QStringLiteral("https://www.example.com/");

class TfTessvar : public TForm {
public:
    explicit TfTessvar(TComponent* owner);
    ~TfTessvar() override;

    // --- Start-up, settings, mode and unit -------------------------------
    void FormShow(TObject* sender);
    void FormClose(TObject* sender, TCloseAction& action);
    void bISOClick(TObject* sender); // the seven family buttons
    void rMMClick(TObject* sender);  // rMM and rINCH
    void rCalibriClick(TObject* sender);
    void rWorkpieceClick(TObject* sender);
    void bMetricStdClick(TObject* sender);
    void bLanguageClick(TObject* sender); // hidden; the language switch comes with the localizer
    void lwwwdravinelClick(TObject* sender);
    void bExitClick(TObject* sender);
    void pTabChange(TObject* sender);
    void eTDChange(TObject* sender); // the 18 bound edits
    // Writes "Preview" and "Unit" to the settings store.
    void UpdateReg();

    // --- Measuring tab ------------------------------------------------
    void Button1Click(TObject* sender); // Go
    void Button2Click(TObject* sender); // No-go
    void bFiloTeorClick(TObject* sender);
    void bQfiliClick(TObject* sender);
    void bPrintClick(TObject* sender); // the measurement sheet "measure.zrf"
    void pcConvertChange(TObject* sender);
    // OnChange of the angles, starts, force and wire material, OnClick of
    // "Compensate deformation": the results of the old inputs go.
    void MeasureInputChange(TObject* sender);
    void tabMisEnter(TObject* sender);
    void tabTollEnter(TObject* sender); // "Tolerance", "Unit" and "Tools"

    // --- Unit converter -------------------------------------------------
    // The conversions. The source takes "." or "," as its decimal
    // separator; a text that is not a number empties the target, while the
    // user is typing (typing true) quietly, otherwise with EConvertError. A
    // temperature below absolute zero empties it too, quietly while typing,
    // otherwise with a message.
    void ConvertL(bool typing = false);
    void ConvertT(bool typing = false);
    void ConvertM(bool typing = false);
    void ConvertA(bool typing = false);
    void ConvertP(bool typing = false);
    void ConvertClick(TObject* sender); // OnChange of the source edits
    void ConvertTClick(TObject* sender);
    void ConvertMClick(TObject* sender);
    void ConvertAClick(TObject* sender);
    void ConvertPClick(TObject* sender);
    void cEndChange(TObject* sender); // OnChange of the target-unit combos
    void cEndTChange(TObject* sender);
    void cEndMChange(TObject* sender);
    void cEndAChange(TObject* sender);
    void cEndPChange(TObject* sender);
    void bSwitchClick(TObject* sender); // the swap buttons
    void bSwitchTClick(TObject* sender);
    void bSwitchMClick(TObject* sender);
    void bSwitchAClick(TObject* sender);
    void bSwitchPClick(TObject* sender);

    // --- Thermal-expansion tool -----------------------------------------
    // The calculations; a length, temperature or coefficient that is not a
    // number empties the results, typing as for the converters, and so do
    // a length below 0 and a temperature below absolute zero, which
    // Calculate names in a message. Only Calculate (typing false) warns of a
    // temperature outside -20 to 300 °C.
    // Every input's change runs them while typing: the length (eTDChange),
    // the temperature, the coefficient, and so the material, which writes
    // the coefficient.
    void Calc1(bool typing = false);
    void Calc2(bool typing = false);
    void eTemp1Change(TObject* sender); // the temperature and the coefficient
    void eTemp2Change(TObject* sender);
    void bCalc1Click(TObject* sender);
    void bCalc2Click(TObject* sender);
    void cMaterialChange(TObject* sender);
    void cMaterial2Change(TObject* sender);
    void cTunitChange(TObject* sender);
    void cTunit2Change(TObject* sender);

    // Rewrites every bound edit from the length list without taking the
    // new texts as typed values.
    void RefreshLengths();

    // --- Controls of the form ---------------------------------------------
    TPageControl* pTab; // page 0 "Tolerance", 1 "Measures", 2 "Unit", 3 "Tools"
    TTabSheet* tabToll;
    TTabSheet* tabMis;
    TTabSheet* tabUnit;
    TTabSheet* tabTools;

    // Tolerance tab
    TImage* imgTolerance;
    TButton* bISO;
    TButton* bAnsiAsme;
    TButton* bSCA; // hidden
    TButton* bSpecial;
    TButton* bGAS;
    TButton* bBUTTRESS;
    TButton* bWhitworth;
    TRadioButton* rCalibri;   // "Gage Tolerance"
    TRadioButton* rWorkpiece; // "Workpiece Tolerance"
    TButton* bMetricStd;

    // Settings group
    TCheckBox* cPreview; // "Show print preview"
    TRadioButton* rMM;
    TRadioButton* rINCH;
    TButton* bLanguage; // hidden
    TLabel* lVersion;
    TLabel* lwwwdravinel;
    TButton* bExit;

    // Measures tab
    TPageControl* pcConvert; // "3 wire", "Arms", "T-sphere"
    TTabSheet* tb3Wire;
    TTabSheet* tbStaffe;
    TTabSheet* tbTsphere;
    TImage* img3Wire;
    TImage* imgStaffe;
    TImage* imgTsphere;
    TEdit* eTD; // diameter
    TEdit* eCP; // pitch
    TEdit* eNP; // starts
    TEdit* eCA; // semi-angles in degrees
    TEdit* eAG;
    TGroupBox* gbFilo;
    TEdit* eAD;      // wire or sphere diameter
    TComboBox* cbMA; // wire material
    TEdit* eForce;
    TCheckBox* cSpecial; // "Compensate deformation"
    TLabel* lFilo;
    TLabel* lTP2;
    TLabel* lTNP2;
    TStaticText* StaticText2;
    TEdit* eRead;
    TEdit* eReadNP;
    TButton* Button1;
    TButton* Button2;
    TEdit* eResult;
    TEdit* eResultNP;
    TLabel* lTP;
    TLabel* lTNP;
    TEdit* eTsupP;
    TEdit* eTinfP;
    TEdit* eTsupNP;
    TEdit* eTinfNP;
    TButton* bQfili;
    TButton* bFiloTeor;
    TEdit* eFiloTeor;
    TEdit* eCodice;
    TEdit* eNote;
    TButton* bPrint;
    TZvProject* ZvProject1; // the report project of the printout
    TLabel* Label4;  // diameter
    TLabel* Label5;  // angle
    TLabel* Label6;  // pitch
    TLabel* Label7;  // starts
    TLabel* Label8;  // wire diameter
    TLabel* Label13; // code
    TLabel* Label15; // note
    TLabel* Label28; // theoretical wire

    // Unit tab
    TEdit* eStart;
    TComboBox* cStart;
    TEdit* eEnd;
    TComboBox* cEnd;
    TButton* bSwitch;
    TEdit* eStartT;
    TComboBox* cStartT;
    TEdit* eEndT;
    TComboBox* cEndT;
    TButton* bSwitchT;
    TEdit* eStartM;
    TComboBox* cStartM;
    TEdit* eEndM;
    TComboBox* cEndM;
    TButton* bSwitchM;
    TEdit* eStartA;
    TComboBox* cStartA;
    TEdit* eEndA;
    TComboBox* cEndA;
    TButton* bSwitchA;
    TEdit* eStartP;
    TComboBox* cStartP;
    TEdit* eEndP;
    TComboBox* cEndP;
    TButton* bSwitchP;

    // Tools tab
    TImage* imgThermal;
    TEdit* eLung1;
    TEdit* eTemp1;
    TComboBox* cTunit;
    TComboBox* cMaterial;
    TEdit* eCoExp1;
    TButton* bCalc1;
    TEdit* eLungStd1;
    TEdit* eDlung1;
    TEdit* eLung2;
    TEdit* eTemp2;
    TComboBox* cTunit2;
    TComboBox* cMaterial2;
    TEdit* eCoExp2;
    TButton* bCalc2;
    TEdit* eLungStd2;
    TEdit* eDlung2;

    // --- State ------------------------------------------------------------
    bool Refreshing = false; // the length list is rewriting its edits
    QString VersionText;     // "major.minor.release.build"; "" without a version resource
    DISPLAY MainDisplay;
    NCLIST LengthList;
    bool UsaUsaFlag = false;
    int MmResolution = 0;
    int InchResolution = 0;
    CALIBRETYPE CurrentType;
    CALIBRETYPELIST TypeCatalogue;

private:
    struct TConverterControls {
        TEdit* Source;
        TComboBox* SourceUnit;
        TEdit* Target;
        TComboBox* TargetUnit;
    };
    // The thread, probe and force of the measuring tab; lengths in mm,
    // angles in degrees, the force as the tab takes it.
    struct TMeasureInputs {
        double Diameter = 0;
        double Pitch = 0;
        double Wire = 0;
        double Starts = 0;
        double SemiAngle1 = 0;
        double SemiAngle2 = 0;
        double Force = 0;
    };
    struct TThermalControls {
        TEdit* Length;
        TEdit* Temperature;
        TComboBox* TemperatureUnit;
        TComboBox* Material;
        TEdit* Coefficient;
        TEdit* LengthAt20;
        TEdit* Variation;
    };

    void BindHandlers();
    void FindControls();
    void ReadSettings();
    void BindLengthEdits();
    // Rewrites the bound edits (only that one, when given) from the length
    // list, with Refreshing set so that the texts are not read back.
    void RewriteLengths(TNumberEdit* only);
    void PageEntered();

    TConverterControls Converter(TConverterKind kind) const;
    void RunConverter(TConverterKind kind, bool typing);
    void SwapConverter(TConverterKind kind);
    void TargetUnitChanged(TConverterKind kind);
    // The end of typing in the temperature source (Enter, or the focus
    // leaving it): says why a temperature below absolute zero, which the
    // typing left without a conversion, has none.
    void TemperatureEntered();

    TThermalControls Thermal(int calculator) const;
    // lengthTyped: the user is typing the length, which keeps its text;
    // otherwise every bound edit is rewritten.
    void RunThermal(int calculator, bool typing, bool lengthTyped = false);
    void MaterialChanged(int calculator);

    // A length the calculation reads, in mm: the value the length list holds
    // while the edit shows the text the window wrote for it (or one that
    // reads as the same number), else the text as typed, read through the
    // list's readout. A text that is no number (the empty one too) raises
    // EConvertError.
    double InputLength(TEdit* edit);
    // The same for a value the calculation needs: an empty field shows the
    // message missingText and gives false.
    bool RequiredLength(TEdit* edit, int missingText, double& mm);
    // A plain number the calculation needs ("." or "," as the decimal
    // separator): an empty field shows the message missingText and gives
    // false; a text that is no number raises EConvertError.
    bool RequiredNumber(TEdit* edit, int missingText, double& value);
    // Both semi-angles (degrees) as RequiredNumber reads them.
    bool SemiAngles(double& semiAngle1, double& semiAngle2);
    // A length in mm as the main readout shows it.
    QString LengthText(double mm);
    // Shows a result (mm) in its bound edit: the list holds the value and
    // writes its text, so that the text in either unit is the value rounded
    // once, and a calculation that reads the edit gets the value back.
    void ShowLength(TEdit* edit, double mm);
    // The probe of the active measuring page: 0 wire, 1 arms, 2 sphere.
    int ProbeOfPage() const;
    // Reads the thread, the probe and the force of the tab into inputs and
    // sets conversion up for the probe (0 wire, 1 arms, 2 sphere) as the
    // calculation takes them; false after the message of an input missing
    // or refused.
    bool SetUpConversion(int probe, CONVERT& conversion, TMeasureInputs& inputs);
    void MeasureOverWire(TEdit* reading, TEdit* result);
    // Empties the results computed from this input of the measuring tab (a
    // reading, a shared input, the page control); other senders: nothing.
    void EmptyResultsOf(const TObject* input);

    bool FShown = false;
    std::unique_ptr<QObject> FSignals; // context of the Qt connections; goes first
};

extern TfTessvar* fTessvar;
