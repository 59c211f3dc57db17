// The band of pitch diameters the measuring tab accepts, against the limits
// the ISO calculator hands over: every thread gauge of the catalogue (rings,
// plugs, check and setting plugs of rings), with and without the American
// option, and the workpiece limits, over 1 to 5 starts.
#include "app/core/Uconvert.h"
#include "calc/Utiso.h"
#include "calc/Utisotables.h"

#include <QSet>
#include <QString>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <future>
#include <limits>
#include <string>
#include <vector>

namespace {

struct TGauge {
    QString Code;
    QString Positions; // as the calculator writes them for the gauge's side
};

// One code for each flag string of a thread gauge (codes with the same flags
// compute the same limits), each with the positions of its side: upper case
// for the plug side, lower case for the ring side.
std::vector<TGauge> ThreadGauges()
{
    std::vector<TGauge> gauges;
    QSet<QString> flagsSeen;
    for (const TIsoGaugeCode& row : IsoGaugeCodeTable) {
        const QString flags = QString::fromLatin1(row.Flags);
        if (!flags.startsWith(u'T') || flagsSeen.contains(flags))
            continue;
        flagsSeen.insert(flags);
        const bool upper = flags.contains(QStringLiteral("f1"));
        QString positions;
        for (const char* letter = IsoThreadPositions; *letter; ++letter) {
            const QChar position = QChar::fromLatin1(*letter);
            if (position.isUpper() == upper)
                positions += position;
        }
        gauges.push_back({QString::fromLatin1(row.Code), positions});
    }
    return gauges;
}

// What one number of starts gives: the lowest and highest limit over D, in
// pitches, and the limits outside the band.
struct TSweep {
    double Lowest = std::numeric_limits<double>::max();
    double Highest = -std::numeric_limits<double>::max();
    int Limits = 0;
    std::vector<std::string> Outside;
};

// Every limit of every thread gauge for this number of starts. The
// diameters are the tops of the tolerance table's ranges and of the
// formula's (where each tolerance is widest), and the largest; the pitches
// those of the tables; the positions and grades all those the calculator
// accepts.
TSweep SweepStarts(int starts)
{
    const std::vector<TGauge> gauges = ThreadGauges();
    const double diameters[] = {1.4, 1.5, 2.8, 5.6, 11.2, 22.4, 45, 90, 180, 300, 355, 1000};
    TSweep sweep;
    const auto check = [&sweep, starts](double limit, const ISOTOLERANCE& r) {
        if (limit < 0) // not set
            return;
        const double D = r.Diameter;
        const double P = r.Pitch;
        ++sweep.Limits;
        sweep.Lowest = std::min(sweep.Lowest, (limit - D) / P);
        sweep.Highest = std::max(sweep.Highest, (limit - D) / P);
        if (!PitchDiameterInBand(D, P, limit, starts))
            sweep.Outside.push_back(r.GaugeCode.toStdString() + " " + r.Tolerance.toStdString() + " M" +
                                    std::to_string(D) + "x" + std::to_string(P) + ": " +
                                    std::to_string(limit));
    };
    for (const double D : diameters) {
        for (const int micrometres : IsoThreadPitches) {
            const double P = micrometres * 0.001;
            for (const TGauge& gauge : gauges) {
                for (const QChar position : gauge.Positions) {
                    for (int grade = 3; grade <= 9; ++grade) {
                        const QString tolerance = QString::number(grade) + position;
                        for (const bool american : {false, true}) {
                            ISOTOLERANCE r;
                            if (!CalcIsoMetricCore(gauge.Code, tolerance, D, P, starts, american, r))
                                continue;
                            for (const TIsoLimits& limits : {r.First, r.Second}) {
                                check(limits.Max, r);
                                check(limits.Min, r);
                                check(limits.Worn, r);
                            }
                            // The workpiece: the bolt of a ring and of its
                            // check plugs, the nut of a plug.
                            const bool bolt = r.Flags.contains(u'X') || r.Flags.contains(u'j');
                            check(bolt ? r.PitchDiameter - r.A - r.TD : r.PitchDiameter + r.A + r.TD, r);
                        }
                    }
                }
            }
        }
    }
    return sweep;
}

// Every limit the calculator hands over for 1 to 5 starts lies inside the
// band of that number of starts, and the band reaches no more than 0.2 P
// under the lowest of them. (The five sweeps run side by side.)
TEST(MeasuringBand, HoldsEveryIsoLimitOfOneToFiveStarts)
{
    std::vector<std::future<TSweep>> sweeps;
    for (int starts = 1; starts <= 5; ++starts)
        sweeps.push_back(std::async(std::launch::async, SweepStarts, starts));
    for (int starts = 1; starts <= 5; ++starts) {
        const TSweep sweep = sweeps[size_t(starts - 1)].get();
        std::printf("%d starts: %d limits, from D %+.3f P to D %+.3f P; band from D %+.3f P\n", starts,
                    sweep.Limits, sweep.Lowest, sweep.Highest, -PitchDiameterBandBelow(starts));
        EXPECT_GT(sweep.Limits, 100000) << starts;
        EXPECT_LT(PitchDiameterBandBelow(starts) + sweep.Lowest, 0.2) << starts;
        EXPECT_TRUE(sweep.Outside.empty())
            << starts << " starts: " << sweep.Outside.size() << " outside, " << sweep.Outside.front();
    }
}

// M6 x 0.25, 5 starts, 9e: the Not-go ring's limits 5.5746 to 5.5986 and
// the bolt's 5.5926 to 5.7926, 1.70 P under D at the lowest, lie in the
// band of 5 starts; the band of a single start (1.5 P, down to 5.625)
// would refuse all but the bolt's upper limit.
TEST(MeasuringBand, HoldsAFineFiveStartThread)
{
    ISOTOLERANCE r;
    ASSERT_TRUE(CalcIsoMetricCore(QStringLiteral("CAF-NP"), QStringLiteral("9e"), 6, 0.25, 5, false, r));
    EXPECT_NEAR(r.First.Min, 5.5746, 0.00005);
    EXPECT_NEAR(r.First.Worn, 5.5986, 0.00005);
    const double bolt[] = {r.PitchDiameter - r.A - r.TD, r.PitchDiameter - r.A};
    EXPECT_NEAR(bolt[0], 5.5926, 0.00005);
    EXPECT_NEAR(bolt[1], 5.7926, 0.00005);
    for (const double limit : {r.First.Min, r.First.Worn, bolt[0], bolt[1]}) {
        EXPECT_TRUE(PitchDiameterInBand(6, 0.25, limit, 5)) << limit;
        EXPECT_EQ(PitchDiameterInBand(6, 0.25, limit, 1), limit == bolt[1]) << limit;
    }
}

} // namespace
