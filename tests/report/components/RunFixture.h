#pragma once
// A project run through the snapshot writer and played back into a list of
// what was placed: "p2" for each page, "Name@top" for each probe rectangle
// (a band's probe is named by its width: see AddBand) and "'text'" for each
// text. Probe rectangles do not depend on fonts.
#include "report/components/QpZarv.h"
#include "report/components/ZvCsData.h"
#include "report/components/ZvCsDraw.h"
#include "report/components/ZvCsRpt.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvDirectDataView.h"
#include "report/model/ZvProj.h"

#include "tests/report/print/SnapshotSupport.h"
#include "tests/support/MemoryDataView.h"

#include <QScopeGuard>

#include <map>
#include <utility>

class RunFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        RecordReportWriterProcs();
        RunZarvProcs(QStringLiteral("*"));
        TMemoryDataView::Register();
        Project.New();
        Report = Project.ActiveReport();
        Report->SetMaxPages(12); // a layout that never ends fails instead of hanging
        Page = Report->LoadedPage(0);
    }

    // A region at (1, 1) of the page.
    TZarvRegion* AddRegion(double height, double width = 4)
    {
        auto* region = new TZarvRegion(Page);
        region->SetName(QStringLiteral("Region%1").arg(++FCount));
        region->SetParent(Page);
        region->SetLeft(1);
        region->SetTop(1);
        region->SetWidth(width);
        region->SetHeight(height);
        return region;
    }
    // A band of class T with a probe rectangle at its top left whose width
    // (0.05 inch per band added) names it in the layout.
    template <class T = TZarvBand>
    T* AddBand(TZarvRegion* region, const QString& name, double height, TZarvIterateBand* controller = nullptr,
               std::initializer_list<TBandPrintLoc> locs = {})
    {
        auto* band = new T(Page);
        band->SetName(name);
        band->SetParent(region);
        band->SetHeight(height);
        band->SetControllerBand(controller);
        TBandPrintLocSet set;
        for (TBandPrintLoc loc : locs)
            set.Include(loc);
        band->BandStyle()->SetPrintLoc(set);
        auto* probe = new TZarvRectangle(Page);
        probe->SetName(name + QStringLiteral("Probe"));
        probe->SetParent(band);
        const double width = 0.05 * double(FProbes.size() + 1);
        probe->SetWidth(width);
        probe->SetHeight(0.01);
        FProbes[qRound(width * 100)] = name;
        return band;
    }
    // A data text of the band showing field of view.
    TZarvDataText* AddField(TZarvBand* band, TZarvComponent* view, const QString& field)
    {
        auto* text = new TZarvDataText(Page);
        text->SetName(QStringLiteral("Text%1").arg(++FCount));
        text->SetParent(band);
        text->SetLeft(1.5);
        text->SetDataView(view);
        text->SetDataField(field);
        return text;
    }
    TZarvDataBand* AddDataBand(TZarvRegion* region, const QString& name, double height, TZarvComponent* view)
    {
        auto* band = AddBand<TZarvDataBand>(region, name, height);
        band->SetDataView(view);
        return band;
    }

    // Runs the report; the layout, entries separated by blanks.
    std::string Run(bool withX = false) { return RunList(withX).join(u' ').toStdString(); }
    // Runs the report into a snapshot.
    QByteArray RunSnapshot()
    {
        // The layout needs no data channel; the channel's mutex is shared
        // with every other process of the machine.
        TZarvDataSystem* channel = std::exchange(DataSystem, nullptr);
        auto restore = qScopeGuard([channel] { DataSystem = channel; });
        TMemoryStream stream;
        TZvZSFWriter writer(nullptr);
        writer.SetStreamMode(TStreamMode::smUser);
        writer.SetStream(&stream);
        Report->Execute(&writer);
        return stream.Bytes();
    }
    QStringList RunList(bool withX = false)
    {
        const QByteArray bytes = RunSnapshot();
        RecordingRender render;
        render.Play(bytes);
        QStringList layout;
        for (const QString& call : render.Calls) {
            const QStringList parts = call.split(u' ');
            if (call.startsWith(QLatin1String("Page ")))
                layout << QStringLiteral("p") + parts.value(1);
            else if (call.startsWith(QLatin1String("Rect ")))
                layout << Probe(parts, withX);
            else if (call.contains(u'"'))
                layout << u'\'' + call.section(u'"', 1, 1) + u'\'';
        }
        return layout;
    }

    TZarvProjectManager Project{nullptr};
    TZarvReport* Report = nullptr;
    TZarvPage* Page = nullptr;

private:
    QString Probe(const QStringList& parts, bool withX) const
    {
        const double x1 = parts.value(1).toDouble();
        const double y1 = parts.value(2).toDouble();
        const double x2 = parts.value(3).toDouble();
        const auto it = FProbes.find(qRound((x2 - x1) * 100));
        const QString name = it == FProbes.end() ? QStringLiteral("?") : it->second;
        const QString top = QString::number(std::round(y1 * 100) / 100);
        return withX ? QStringLiteral("%1@%2,%3").arg(name, QString::number(std::round(x1 * 100) / 100), top)
                     : name + u'@' + top;
    }

    int FCount = 0;
    std::map<int, QString> FProbes;
};
