#include "report/print/QpMemo.h"

void TQPTFItem::AddQPTF(const QString& qptfStr) { Data += qptfStr; }
TMemoBuf::TMemoBuf() = default;
TMemoBuf::~TMemoBuf() = default;
void TMemoBuf::Reset() {}
void TMemoBuf::SaveState() {}
void TMemoBuf::RestoreState() {}
void TMemoBuf::SetData(const QChar*, int) {}
void TMemoBuf::SetRTF(const char*, int) {}
QString TMemoBuf::Text() const { return {}; }
void TMemoBuf::SetText(const QString&) {}
void TMemoBuf::SetRTFText(const QString&) {}
void TMemoBuf::SetMemo(const TMemo&) {}
void TMemoBuf::LoadFromStream(TStream&, int) {}
void TMemoBuf::LoadFromFile(const QString&) {}
void TMemoBuf::RTFLoadFromStream(TStream&, int) {}
void TMemoBuf::RTFLoadFromFile(const QString&) {}
void TMemoBuf::SaveToStream(TStream&) const {}
void TMemoBuf::Insert(int, const QString&) {}
void TMemoBuf::InsertMemoBuf(int, const TMemoBuf&) {}
void TMemoBuf::Delete(int, int) {}
void TMemoBuf::SetSize(int) {}
void TMemoBuf::SetMaxSize(int) {}
void TMemoBuf::SetPos(int) {}
void TMemoBuf::SetBufferInc(int) {}
void TMemoBuf::SaveBuffer() {}
void TMemoBuf::RestoreBuffer() {}
void TMemoBuf::FreeSaved() {}
bool TMemoBuf::SearchFirst(const QString&, bool) { return false; }
bool TMemoBuf::SearchNext() { return false; }
void TMemoBuf::ReplaceAll(const QString&, const QString&, bool) {}
QString TMemoBuf::GetNextLine(bool&) { return {}; }
int TMemoBuf::MemoLinesLeft() { return 0; }
double TMemoBuf::PrintLines(int, bool) { return 0; }
double TMemoBuf::PrintHeight(double, bool) { return 0; }
double TMemoBuf::MemoHeightLeft() { return 0; }
double TMemoBuf::ConstrainHeightLeft(double) { return 0; }
