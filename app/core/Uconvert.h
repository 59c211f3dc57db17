#pragma once
// Measurement conversion: the pitch diameter of a screw thread from a
// reading over three wires, over measuring arms (two balls) or with a
// T-sphere, corrected for the lead angle (also of multi-start threads) and,
// when compensation is on, for the Hertzian flattening of wires, balls and
// flanks under the measuring force. Lengths in millimetres, angles in
// degrees, force in the unit the measuring tab takes (multiplied by 9.8 for
// newtons).
//
// Besides the three methods (modes 1, 2, 6) and the pass-through (mode 0),
// Convert knows short wire formulas, a two-ball measurement referred to a
// reference thread, plain offsets and the contact approaches of single
// bodies (modes 3 to 5 and 7 to 23).
//
// A routine that fails while it computes (a floating-point fault, a contact
// ratio outside its table, a material index outside the material table)
// returns its fallback: -1.0 for the three-wire methods, 0.0 for arms,
// T-sphere, the short formulas and the reference comparison, and -1.0 for a
// contact approach (so mode 11 gives M - 1.0, the doubled modes M - 2.0).
// A reading the method cannot use (a pitch diameter below the wire, an
// impossible geometry, an input outside a formula's bounds) gives the
// reading back or 0.0. Neither is a pitch diameter: Status says which kind
// of number the last Convert returned, and a caller that shows the result
// asks it first.
#include <cstdint>

// Number of materials: 0 steel, 1 tungsten, 2 aluminium, 3 ceramic, 4 ruby.
constexpr int ConvertMaterialCount = 5;

// What the last Convert returned.
enum class TConvertStatus {
    Computed,         // a pitch diameter (or the reading itself in mode 0)
    ReadingNotUsable, // the reading handed back, or 0.0 for inputs outside the method's bounds
    Failed,           // a fallback value: the calculation failed
};

class CONVERT {
public:
    CONVERT() = default;

    // noCompensation 0 applies the deformation correction; any other value
    // does not.
    void SetForce(double force, uint8_t noCompensation);
    // Mode 1.
    void SetThreeWire(double diameter, double semiAngle1, double semiAngle2, double pitch, double wire,
                      int material, double starts);
    // Mode 2 and mode 6; secondDiameter is the diameter of the ball's seat.
    void SetArms(double diameter, double semiAngle1, double semiAngle2, double pitch, double wire,
                 double secondDiameter, int material, int secondMaterial, double starts);
    void SetTSphere(double diameter, double semiAngle1, double semiAngle2, double pitch, double wire,
                    double secondDiameter, int material, int secondMaterial, double starts);
    // The other modes take the members above and these.
    void SetMode(int mode) { FMode = mode; }
    void SetReference(double value, double angle, double pitch); // modes 3 and 4
    void SetOffsets(double addend, double divisor);              // modes 8 and 9
    void SetContactLength(double length);                        // modes 14 and 20

    int Mode() const { return FMode; }
    // Whether a reading can touch the thread at all with the probe of the
    // three methods (modes 1, 2, 6 and 23): a starts count the conversion
    // can take (a number within the 64-bit integers), the reading and the
    // pitch above 0, and a gap between reading and probe above 0 (for the
    // arms the chord of the two balls, sqrt((M - d)^2 - s^2), with s their
    // axial offset: P / 2 for an odd number of starts, 0 for an even one).
    // Other modes: true. Never raises.
    bool ReadingTouches(double reading) const;
    // Whether a pitch diameter can belong to the thread set up: above 0 and
    // within the band from PitchDiameterBandBelow pitches below (for the
    // starts set up) to PitchDiameterBandAbove pitches above the diameter D
    // (limits included).
    bool PitchDiameterPlausible(double pitchDiameter) const;
    // The result of the selected mode for reading M; 0.0 for a mode outside
    // 0 to 23.
    double Convert(double reading) const;
    // The kind of number the last Convert returned; Computed before any.
    TConvertStatus Status() const { return FStatus; }
    // The reading that converts to pitchDiameter: one that touches the
    // thread, whose Convert is Computed, inside the band and within
    // ReadingTolerance of pitchDiameter. Found in a bracket widened evenly
    // around guess, across which the conversion must give pitch diameters
    // that rise with the reading, then halved; the reading is taken to
    // 0.01 um. False, reading untouched, when pitchDiameter lies outside
    // the band or no reading gives it.
    bool ReadingOf(double pitchDiameter, double guess, double& reading) const;

private:
    void SetBodies(int mode, double diameter, double semiAngle1, double semiAngle2, double pitch, double wire,
                   double secondDiameter, int material, int secondMaterial, double starts);
    double ThreeWire(double reading) const;
    double ThreeWireScaled(double reading) const;
    double Arms(double reading) const;
    double TSphere(double reading) const;
    double ShortWire(double reading) const;
    double CorrectedShortWire(double reading) const;
    double ReferenceComparison(double reading) const;
    double TwoSphere() const;
    double SpherePlane() const;
    double ConvexSeat(double seat) const;
    double HollowSeat(double seat) const;
    double LineContact(double cylinder) const;
    double FlankCorrection(double a1, double a2, double force) const;
    double SeatCorrection(double force) const;
    // Records the status of the running Convert and passes the value on.
    double Mark(TConvertStatus status, double value) const;

    uint8_t FNoCompensation = 0;
    double FForce = 0;
    int FMode = 0;
    double FDiameter = 0;       // D, mm
    double FSemiAngle1 = 0;     // degrees; the included angle in modes 4, 7 and 10
    double FSemiAngle2 = 0;     // degrees
    double FPitch = 0;          // mm
    double FWire = 0;           // wire or sphere diameter, mm
    double FSecondDiameter = 0; // seat, cylinder or reference thread, mm
    double FReferenceValue = 0;
    double FReferenceAngle = 0; // degrees
    double FReferencePitch = 0; // mm
    double FAddend = 0;
    double FDivisor = 0;
    int FMaterial = 0;
    int FSecondMaterial = 0;
    double FContactLength = 0; // mm
    double FStarts = 0;
    mutable TConvertStatus FStatus = TConvertStatus::Computed;
};

// The band of the pitch diameters a thread of diameter D, pitch P and n
// starts can have, in pitches around D. D is the major diameter, or for a
// pipe thread the basic pitch diameter at its gauge plane.
//
// Below, the band reaches PitchDiameterBandBelow(n) pitches under D, made of
// a part that does not depend on the starts and one that widens with them:
//   - 0.9 P: the basic pitch diameter lies 0.65 P under D, and the
//     fundamental deviation adds up to 0.18 P where the tolerances are
//     widest in pitches (e at the finest pitches);
//   - 0.6 P times the widening of the pitch-diameter tolerance: the widest
//     tolerance the ISO calculator accepts is 0.5 P (grade 9 at the finest
//     pitches, where its formula stops), and the Not-go ring's own tolerance
//     below it up to 0.07 P; a thread of n starts has its tolerance widened,
//     by the standard 1.12, 1.25, 1.4 times for 2, 3, 4 starts and 1.6 times
//     for 5 and more, here by 0.15 a start up to 1.6.
//   Where the deviation is larger in pitches (a: 0.29 P at 1 mm), the
//   tolerances are narrower (grade 9 at 1 mm: up to 0.36 P), and the limits
//   stay well above the band.
// So a single start reaches 1.5 P under D, which also holds every other
// profile (the minor diameter lies at most 1.28 P under the major: 1.227 P
// for a 60 degree thread, 1.281 P for Whitworth) and the taper gauges
// measured away from their gauge plane (1.46 P under the basic pitch
// diameter, NPTF L3 plugs); 5 starts reach 1.86 P. The lowest ISO limits
// lie 1.39, 1.46, 1.53, 1.60 and 1.70 P under D for 1 to 5 starts (Not-go
// rings 9e, P 0.25); the other families take no starts and hand over limits
// from 1.04 P below (NPSM 6 in) to 0.13 P above (ISO 228 G 1/16 No-go
// plugs).
//
// Above: no pitch diameter lies over the major diameter; over a basic pitch
// diameter, the pipe gauges' limits stay within a few tenths of a pitch, and
// a No-go plug of 5 starts at 0.2 mm pitch reaches 0.02 P over D.
double PitchDiameterBandBelow(double starts);  // pitches
constexpr double PitchDiameterBandAbove = 0.5; // pitches
// starts as the conversion takes them: truncated, and less than 1 as 1.
bool PitchDiameterInBand(double diameter, double pitch, double pitchDiameter, double starts = 1);

// How far a pitch diameter from ReadingOf's reading may lie from the one
// sought, in mm (0.01 um).
constexpr double ReadingTolerance = 0.00001;

// The lead angle psi (radians) of the wire or ball contact: X the reading
// less the wire (for the arms the chord sqrt(X^2 - s^2) of the two balls, s
// their axial offset: turning the thread half a turn moves its grooves half
// a lead, n P / 2, and the n grooves repeat every pitch, so the groove
// opposite a ball lies P / 2 away for an odd number of starts and in the
// same plane, s = 0, for an even one), a1 and a2 the semi-angles in radians,
// lead L, wire d, sign -1 for wires and +1 for arms and T-sphere. The
// iteration runs at least 11 and at most 1000 rounds; rounds gives how many
// it ran. Raises an EMathError on a floating-point fault.
double LeadAngle(double X, double a1, double a2, double lead, double wire, double sign,
                 int* rounds = nullptr);

// Hertzian contact coefficients for the curvature ratio x: from the table
// for 0.01 <= x <= 1 (interpolated), from a logarithmic fit below 0.01.
// Raises EInvalidOp for x not above 0, above 1, or not a number.
void ContactCoefficients(double x, double& c1, double& c2);
