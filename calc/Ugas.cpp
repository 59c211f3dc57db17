#include "calc/Ugas.h"

#include "app/core/Ucalibretype.h"
#include "app/core/Unan.h"
#include "calc/Ugastables.h"
#include "platform/rtl/FormatText.h"

namespace {

constexpr double Micrometre = 0.001;                // mm
constexpr double ParallelPitchTolerance = 0.005;    // mm
constexpr double CrestTruncation = 0.134;           // mm, removed from the crests when truncated
constexpr int FirstSizesWithTruncatedRingMinor = 2; // 1/16 and 1/8

double SizeInInches(int whole, int numerator, int denominator)
{
    double size = whole;
    if (denominator != 0)
        size += double(numerator) / denominator;
    return size;
}

void SetGoMean(TOLLERANCE& r)
{
    r.MedP = (r.MaxP + r.MinP) / 2;
}

void SetNoGoMean(TOLLERANCE& r)
{
    r.MedN = (r.MaxN + r.MinN) / 2;
}

void SetTexts(double d2, double pitch, const QString& designation, TCalcText& diameterText,
              TCalcText& angleText, TCalcText& pitchText, TCalcText& designationText)
{
    diameterText = Format(QStringLiteral("%f"), d2);
    pitchText = Format(QStringLiteral("%f"), pitch);
    angleText = QStringLiteral("55");
    designationText = designation;
}

template <typename Size> QString SizeText(const Size& size)
{
    return InchSizeText(size.Whole, size.Numerator, size.Denominator);
}

// A band value in millimetres (column 1-based, as the tables name them).
double Column(const TPipeBand& band, int column)
{
    return band.Values[column - 1] * Micrometre;
}

double HalfAngle(double size)
{
    for (const TPipeHalfAngleBand& band : ParallelHalfAngleBands) {
        if (size <= band.Limit)
            return band.Minutes;
    }
    return -1;
}

} // namespace

bool CalcGasTaper(const CALIBRETYPE& type, int sizeIndex, TCalcText& diameter, TCalcText& angle,
                  TCalcText& pitch, TCalcText& designation, TOLLERANCE& result)
{
    if (sizeIndex < 0 || sizeIndex >= TaperPipeSizeCount)
        return false;
    const TTaperPipeSize& size = TaperPipeSizeTable[sizeIndex];
    const double inches = SizeInInches(size.Whole, size.Numerator, size.Denominator);
    const int band = FindPipeBand(TaperBandSet1, inches);
    if (band < 0 || FindPipeBand(TaperBandSet2, inches) != band)
        return false;
    const TPipeBand& set1 = TaperBandSet1[band];
    const TPipeBand& set2 = TaperBandSet2[band];
    const double T1 = Column(set1, 1), T2 = Column(set1, 2), T3 = Column(set1, 3), T5 = Column(set1, 5);
    const double T2s = Column(set2, 2);
    const double d = size.d, d2 = size.d2, d1 = size.d1, c7 = size.c7;
    // c4 is not known for every size: its gauges then show no measuring height.
    const double c4 = size.c4 < 0 ? NanValue() : size.c4;
    TOLLERANCE& r = result;

    switch (type.Item) {
    case 0: // taper thread plug
        r.MaxP = d2 + 1.5 * T1;
        r.MinP = d2 + 0.5 * T1;
        r.LogP = r.MinP - T5;
        r.MaxPe = d + 2 * T1;
        r.MinPe = d;
        r.MaxPi = d1;
        r.MinPi = NanValue();
        r.HMis1 = c4;
        break;
    case 1: // taper thread ring
        r.MaxP = d2 - 0.5 * T2s;
        r.MinP = d2 - 1.5 * T2s;
        r.LogP = r.MaxP + T5;
        r.MaxPe = NanValue();
        r.MinPe = d;
        r.MaxPi = d1;
        r.MinPi = d1 - 2 * T2s;
        r.HMis1 = size.c5;
        break;
    case 2: // taper thread form check plug
        r.MaxP = d2 - T2 + 0.5 * T3;
        r.MinP = d2 - T2 - 0.5 * T3;
        r.LogP = r.MinP;
        r.MaxPe = d2 - T2 + 2 * c7 + T3;
        r.MinPe = d2 - T2 + 2 * c7 - T3;
        r.MaxPi = d1 - 1.75 * T2;
        r.MinPi = NanValue();
        r.HMis1 = size.c6;
        break;
    case 3: // parallel thread ring
        r.MaxP = d2 - 0.5 * T2;
        r.MinP = d2 - 1.5 * T2;
        r.LogP = r.MaxP + T5;
        r.MaxPe = NanValue();
        r.MinPe = d;
        r.MaxPi = d1;
        r.MinPi = d1 - 2 * T2;
        r.HMis1 = c4;
        break;
    case 4: // parallel thread form check ring
        r.MaxP = d2 - T2 + 0.5 * T3;
        r.MinP = d2 - T2 - 0.5 * T3;
        r.LogP = r.MinP;
        r.MaxPe = NanValue();
        r.MinPe = d + 2 * T1;
        r.MaxPi = d2 - 2 * c7 + T1;
        r.MinPi = d2 - 2 * c7 - T1;
        r.HMis1 = size.c6;
        break;
    default:
        break;
    }
    if (type.Item >= 0 && type.Item <= 4)
        SetGoMean(r);
    r.TPasso = Column(set1, 6);
    r.TSA = set1.Values[6]; // minutes

    const QString prefix = type.Item == 3   ? QStringLiteral("R %1")
                           : type.Item == 4 ? QStringLiteral("Rp %1")
                                            : QStringLiteral("Rc %1");
    SetTexts(d2, size.P, prefix.arg(SizeText(size)), diameter, angle, pitch, designation);
    return true;
}

bool CalcGasParallelPlug(const CALIBRETYPE& type, int sizeIndex, bool truncateCrests, TCalcText& diameter,
                         TCalcText& angle, TCalcText& pitch, TCalcText& designation, TOLLERANCE& result)
{
    if (sizeIndex < 0 || sizeIndex >= ParallelPipeSizeCount)
        return false;
    const TParallelPipeSize& size = ParallelPipeSizeTable[sizeIndex];
    const double inches = SizeInInches(size.Whole, size.Numerator, size.Denominator);
    const int band = FindPipeBand(ParallelPlugBands, inches);
    if (band < 0)
        return false;
    const TPipeBand& plug = ParallelPlugBands[band];
    const double G1 = Column(plug, 1), G2 = Column(plug, 2), G3 = Column(plug, 3), G4 = Column(plug, 4),
                 G5 = Column(plug, 5);
    const double d = size.d, d2 = size.d2, d1 = size.d1, P = size.P;
    TOLLERANCE& r = result;

    const bool go = type.Item == 0 || type.Item == 2;
    const bool noGo = type.Item == 1 || type.Item == 2;
    if (go) {
        r.MaxP = d2 + G2 + 0.5 * G3;
        r.MinP = d2 + G2 - 0.5 * G3;
        r.LogP = d2 + G2 - G5;
        if (truncateCrests) {
            r.MaxPe = d - CrestTruncation;
            r.MinPe = d - CrestTruncation - G3;
        } else {
            r.MaxPe = d + 1.5 * G3;
            r.MinPe = d - 0.5 * G3;
        }
        r.MaxPi = d1;
        r.MinPi = NanValue();
        SetGoMean(r);
    }
    if (noGo) {
        r.MaxN = d2 + G1 + G3;
        r.MinN = d2 + G1;
        r.LogN = d2 + G1 + 0.5 * G3 - G4;
        r.MaxNe = d2 + G1 + 0.5 * G3 + 0.2 * P + G3;
        r.MinNe = d2 + G1 + 0.5 * G3 + 0.2 * P - G3;
        r.MaxNi = d1 - G1;
        r.MinNi = NanValue();
        SetNoGoMean(r);
    }
    r.TPasso = ParallelPitchTolerance;
    const double minutes = HalfAngle(inches);
    if (minutes < 0)
        return false;
    r.TSA = minutes;
    SetTexts(d2, P, QStringLiteral("G %1").arg(SizeText(size)), diameter, angle, pitch, designation);
    return true;
}

bool CalcGasParallelRing(const CALIBRETYPE& type, int sizeIndex, bool classA, bool truncateCrests,
                         TCalcText& diameter, TCalcText& angle, TCalcText& pitch, TCalcText& designation,
                         TOLLERANCE& result)
{
    if (sizeIndex < 0 || sizeIndex >= ParallelPipeSizeCount)
        return false;
    const TParallelPipeSize& size = ParallelPipeSizeTable[sizeIndex];
    const double inches = SizeInInches(size.Whole, size.Numerator, size.Denominator);

    // A[1..8] and B[1..5]; index 0 unused so that the names read as in the
    // tables.
    double A[9] = {};
    double B[6] = {};
    if (classA) {
        const int band = FindPipeBand(ParallelRingBandsA, inches);
        if (band < 0)
            return false;
        for (int k = 1; k <= 8; ++k)
            A[k] = Column(ParallelRingBandsA[band], k);
        // Class A also for the Not-go ring and its check gauges.
        for (int k = 1; k <= 5; ++k)
            B[k] = A[k];
    } else {
        const int band = FindPipeBand(ParallelRingBandsB, inches);
        if (band < 0)
            return false;
        for (int k = 1; k <= 8; ++k)
            A[k] = Column(ParallelRingBandsA[band], k);
        A[7] = Column(ParallelRingBandsB[band], 6);
        for (int k = 1; k <= 5; ++k)
            B[k] = Column(ParallelRingBandsB[band], k);
    }
    const double d = size.d, d2 = size.d2, d1 = size.d1, P = size.P;
    TOLLERANCE& r = result;

    switch (type.Item) {
    case 3: // Go thread ring
        r.MaxP = d2 - A[6] + 0.5 * A[2];
        r.MinP = d2 - A[6] - 0.5 * A[2];
        r.LogP = d2 - A[6] + A[8];
        r.MaxPe = NanValue();
        r.MinPe = d;
        if (truncateCrests) {
            r.MaxPi = d1 + CrestTruncation + A[2];
            r.MinPi = d1 + CrestTruncation;
        } else {
            r.MaxPi = d1;
            r.MinPi = d1 - A[2];
        }
        if (sizeIndex < FirstSizesWithTruncatedRingMinor) {
            r.MaxPi += CrestTruncation;
            r.MinPi += CrestTruncation;
        }
        SetGoMean(r);
        break;
    case 4: // Not-go thread ring
        r.MaxN = d2 - B[1];
        r.MinN = d2 - B[1] - B[2];
        r.LogN = d2 - B[1] - 0.5 * B[2] + A[7];
        r.MaxNe = NanValue();
        r.MinNe = d + B[3];
        r.MaxNi = d2 - B[1] - 0.5 * B[2] - 0.2 * P + B[2];
        r.MinNi = d2 - B[1] - 0.5 * B[2] - 0.2 * P - B[2];
        SetNoGoMean(r);
        break;
    case 5: // Go check plug for the Go ring
        r.MaxP = d2 - A[6] - A[5] + 0.5 * A[4];
        r.MinP = d2 - A[6] - A[5] - 0.5 * A[4];
        r.LogP = NanValue();
        r.MaxPe = d - 0.14784 * P;
        r.MinPe = r.MaxPe - A[3];
        r.MaxPi = d1 - A[3];
        r.MinPi = NanValue();
        SetGoMean(r);
        break;
    case 6: // Not-go check plug for the Go ring
        r.MaxN = d2 - A[6] + 0.5 * A[2] + 0.5 * A[4];
        r.MinN = d2 - A[6] + 0.5 * A[2] - 0.5 * A[4];
        r.LogN = NanValue();
        r.MaxNe = d2 - A[6] + 0.5 * A[2] + 0.2 * P + 0.5 * A[3];
        r.MinNe = r.MaxNe - A[3];
        r.MaxNi = d1 - A[3];
        r.MinNi = NanValue();
        SetNoGoMean(r);
        break;
    case 7: // wear check plug for the Go ring: centred on its wear limit
        r.MaxP = d2 - A[6] + A[8] + 0.5 * A[4];
        r.MinP = d2 - A[6] + A[8] - 0.5 * A[4];
        r.LogP = NanValue();
        r.MaxPe = d2 - A[6] + A[8] + 0.2 * P + 0.5 * A[3];
        r.MinPe = r.MaxPe - A[3];
        r.MaxPi = d1 - A[3];
        r.MinPi = NanValue();
        SetGoMean(r);
        break;
    case 8: // Go check plug for the Not-go ring
        r.MaxP = d2 - B[1] - 0.5 * B[2] - B[5] + 0.5 * B[4];
        r.MinP = r.MaxP - B[4];
        r.LogP = NanValue();
        r.MaxPe = d + B[3];
        r.MinPe = d - B[3];
        r.MaxPi = d1;
        r.MinPi = NanValue();
        SetGoMean(r);
        break;
    case 9: // Not-go check plug for the Not-go ring: centred on its maximum
        r.MaxN = d2 - B[1] + 0.5 * B[4];
        r.MinN = d2 - B[1] - 0.5 * B[4];
        r.LogN = NanValue();
        r.MaxNe = d - B[1] + B[3];
        r.MinNe = d - B[1] - B[3];
        r.MaxNi = d1;
        r.MinNi = NanValue();
        SetNoGoMean(r);
        break;
    case 10: // wear check plug for the Not-go ring: centred on its wear limit
        r.MaxP = d2 - B[1] - 0.5 * B[2] + A[7] + 0.5 * B[4];
        r.MinP = r.MaxP - B[4];
        r.LogP = NanValue();
        r.MaxPe = d2 - B[1] - 0.5 * B[2] + A[7] + B[3];
        r.MinPe = r.MaxPe - 2 * B[3];
        r.MaxPi = d1;
        r.MinPi = NanValue();
        SetGoMean(r);
        break;
    default:
        break;
    }
    r.TPasso = ParallelPitchTolerance;
    const double minutes = HalfAngle(inches);
    if (minutes < 0)
        return false;
    r.TSA = minutes;
    SetTexts(d2, P, QStringLiteral("G %1").arg(SizeText(size)), diameter, angle, pitch, designation);
    return true;
}
