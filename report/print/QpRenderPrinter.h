#pragma once
// QpRenderPrinter: TZvRenderPrinter, the render target that prints a
// snapshot on the printer device of the process (QpDevice), or into the
// printer's output file. It adds the print job around the pages, the
// printer settings recorded in the snapshot (or given here), paper bins, raw
// data, and positions measured from the printable area's corner. Its own
// refusals (the device's, the bins', its page selection's, no page to
// print) keep their messages on every road; the snapshot's name its file.
//
// On the "Print to PDF" printer a job without an output file asks the user
// for one through the file dialog service (default name: the report's title
// + ".pdf"); Cancel there ends the print with the silent abort (EAbort)
// before the device has changed anything.
#include "report/print/QpRenderCanvas.h"

class TQpPrinterDevice;

class TZvRenderPrinter : public TZvRenderCanvas {
public:
    explicit TZvRenderPrinter(TComponent* owner);

    // Used instead of the snapshot's values when IgnoreFileSettings is set.
    int Copies = 1;
    bool Collate = false;
    TDuplex Duplex = TDuplex::dupSimplex;
    bool IgnoreFileSettings = false;

    // The reader's page count while playing, else the count stored here.
    int Pages();
    void SetPages(int pages) { FPages = pages; }
    int MaxCopies();

    // ESheetcaster "The report has no page to print." when the playback
    // would print no page (a snapshot without pages, or a range or
    // selection that holds none of its pages), before DocBegin: no file is
    // asked for and the device is not touched.
    void CheckPlayback() override;
    TCanvas* GetCanvas() override;
    bool SetBin(const QString& binName) override;
    void SetHeaderBin(int binNum) override;
    bool PrintData(const QString& value) override;
    // In blocks of at most 4096 bytes; bufSize 0 sends the rest of the
    // stream.
    void PrintDataStream(TStream& stream, int bufSize) override;
    void DocBegin() override;
    void DocEnd() override;
    void PageBegin() override;
    int GetXDPI() override;
    int GetYDPI() override;
    // Pixels from the printable area's corner: the unprintable margin taken
    // off.
    int XI2D(double pos) override;
    int YI2D(double pos) override;

private:
    TQpPrinterDevice* Device() const;
    void ReadDevice();

    int FPages = 0;
    int FPagesBegun = 0; // of the playback
    int FXDPI = 0;       // of the job, read when it starts and at every page
    int FYDPI = 0;
    int FWasteLeft = 0; // device pixels
    int FWasteTop = 0;
};
