#include "report/print/QpBars.h"

TQPBarsBase::TQPBarsBase(TBaseReport* baseRpt) : FBaseReport(baseRpt) {}
TQPBarsBase::~TQPBarsBase() = default;
void TQPBarsBase::PrintXY(double, double) {}
void TQPBarsBase::SetBarCodeJustify(TPrintJustify value) { FBarCodeJustify = value; }
double TQPBarsBase::Left() const { return FPosition; }
void TQPBarsBase::SetLeft(double value) { FPosition = value; }
double TQPBarsBase::Right() const { return FPosition; }
void TQPBarsBase::SetRight(double value) { FPosition = value; }
double TQPBarsBase::Center() const { return FPosition; }
void TQPBarsBase::SetCenter(double value) { FPosition = value; }
double TQPBarsBase::Bottom() const { return FTop; }
void TQPBarsBase::SetBottom(double value) { FTop = value; }
double TQPBarsBase::BarTop() const { return FTop; }
void TQPBarsBase::SetBarTop(double value) { FTop = value; }
double TQPBarsBase::BarBottom() const { return FTop; }
void TQPBarsBase::SetBarBottom(double value) { FTop = value; }
double TQPBarsBase::ReadableHeight() const { return 0; }
QString TQPBarsBase::Checksum() const { return {}; }
QString TQPBarsBase::ReadableText() const { return FText; }
void TQPBarsBase::DoSetText(const QString& value) { FText = value; }
void TQPBarsBase::PrintReadableText() {}
bool TQPBarsBase::IsValidChar(QChar) const { return true; }
void TQPBarsBase::PrintFrame(const std::function<void()>&) {}
void TQPBarsBase::DrawPattern(const QString&, bool, bool) {}
void TQPBarsBase::DrawBar(double, double, double, double) {}
void TQPBarsBase::PrintReadableLine(const QString&) {}
bool TQPBarsBase::Rotated180() const { return false; }
bool TQPBarsBase::Upside() const { return false; }

TQPBars2of5::TQPBars2of5(TBaseReport* baseRpt) : TQPBarsBase(baseRpt) {}
void TQPBars2of5::Print() {}
void TQPBars2of5::PrintReadableText() {}
double TQPBars2of5::GetWidth() const { return 0; }
void TQPBars2of5::GetCharPattern(QChar, QString&) const {}
void TQPBars2of5::GetChecksum(QString&) const {}
void TQPBars2of5::GetBarWidth(QChar, double&, double&, double&) const {}
void TQPBars2of5::GetReadableText(QString&) const {}
bool TQPBars2of5::IsValidChar(QChar) const { return true; }

TQPBarsCode39::TQPBarsCode39(TBaseReport* baseRpt) : TQPBarsBase(baseRpt) {}
void TQPBarsCode39::Print() {}
QString TQPBarsCode39::ExtendedText() const { return {}; }
double TQPBarsCode39::GetWidth() const { return 0; }
void TQPBarsCode39::GetCharPattern(QChar, QString&) const {}
void TQPBarsCode39::GetChecksum(QString&) const {}
void TQPBarsCode39::GetBarWidth(QChar, double&, double&, double&) const {}
void TQPBarsCode39::GetReadableText(QString&) const {}
bool TQPBarsCode39::IsValidChar(QChar) const { return true; }

TQPBarsPostNet::TQPBarsPostNet(TBaseReport* baseRpt) : TQPBarsBase(baseRpt) {}
void TQPBarsPostNet::Print() {}
void TQPBarsPostNet::PrintFimA(double, double) {}
void TQPBarsPostNet::PrintFimB(double, double) {}
void TQPBarsPostNet::PrintFimC(double, double) {}
void TQPBarsPostNet::DoSetText(const QString& value) { FText = value; }
double TQPBarsPostNet::GetWidth() const { return 0; }
void TQPBarsPostNet::GetCharPattern(QChar, QString&) const {}
void TQPBarsPostNet::GetChecksum(QString&) const {}
void TQPBarsPostNet::GetBarWidth(QChar, double&, double&, double&) const {}
void TQPBarsPostNet::GetReadableText(QString&) const {}
bool TQPBarsPostNet::IsValidChar(QChar) const { return true; }
void TQPBarsPostNet::PrintFim(const QString&, double, double) {}
double TQPBarsPostNet::SpaceWidth() const { return 0; }

TQPBarsCode128::TQPBarsCode128(TBaseReport* baseRpt) : TQPBarsBase(baseRpt) {}
void TQPBarsCode128::Print() {}
TCodePage128 TQPBarsCode128::CodePageUsed() const { return FCodePage; }
QList<int> TQPBarsCode128::Encoded() const { return {}; }
double TQPBarsCode128::GetWidth() const { return 0; }
void TQPBarsCode128::GetCharPattern(QChar, QString&) const {}
void TQPBarsCode128::GetChecksum(QString&) const {}
void TQPBarsCode128::GetBarWidth(QChar, double&, double&, double&) const {}
bool TQPBarsCode128::IsValidChar(QChar) const { return true; }
QList<int> TQPBarsCode128::EncodeWith(TCodePage128, int) const { return {}; }
QList<int> TQPBarsCode128::Encode(TCodePage128&) const { return {}; }

TQPBarsUPC::TQPBarsUPC(TBaseReport* baseRpt) : TQPBarsBase(baseRpt) {}
void TQPBarsUPC::Print() {}
void TQPBarsUPC::DoSetText(const QString& value) { FText = value; }
void TQPBarsUPC::DoSetUseChecksum(bool) { FUseChecksum = true; }
void TQPBarsUPC::PrintReadableText() {}
double TQPBarsUPC::GetWidth() const { return 0; }
void TQPBarsUPC::GetCharPattern(QChar, QString&) const {}
void TQPBarsUPC::GetChecksum(QString&) const {}
void TQPBarsUPC::GetBarWidth(QChar, double&, double&, double&) const {}
void TQPBarsUPC::GetReadableText(QString&) const {}
bool TQPBarsUPC::IsValidChar(QChar) const { return true; }
double TQPBarsUPC::FitFontSize() { return 0; }

TQPBarsEAN::TQPBarsEAN(TBaseReport* baseRpt) : TQPBarsUPC(baseRpt) { ValidLen = 12; }
