#include "report/print/QpRenderPreview_p.h"

#include "platform/forms/Forms.h"

#include <QScrollArea>
#include <QStyle>

namespace PreviewHost {

TWinControl* AsControl(TScrollBox* box)
{
    return box;
}

int ScrollBarExtent(TScrollBox* box)
{
    const QScrollArea* area = box ? box->ScrollArea() : nullptr;
    return area ? area->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area) : 16;
}

int HorzPosition(TScrollBox* box)
{
    return box->HorzScrollBar()->Position();
}

int VertPosition(TScrollBox* box)
{
    return box->VertScrollBar()->Position();
}

void SetPositions(TScrollBox* box, int horz, int vert)
{
    box->HorzScrollBar()->SetPosition(horz);
    box->VertScrollBar()->SetPosition(vert);
}

void SetRanges(TScrollBox* box, int horz, int vert)
{
    box->SetAutoScroll(false);
    box->HorzScrollBar()->SetRange(horz);
    box->VertScrollBar()->SetRange(vert);
}

} // namespace PreviewHost
