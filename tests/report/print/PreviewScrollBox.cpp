#include "PreviewScrollBox.h"

#include "platform/forms/Forms.h"

TScrollBox* NewScrollBox(TComponent* owner, int width, int height)
{
    auto* form = new TForm(owner);
    auto* box = new TScrollBox(form);
    box->SetParent(form);
    box->SetBounds(0, 0, width, height);
    return box;
}

int HorzRange(TScrollBox* box)
{
    return box->HorzScrollBar()->Range();
}

int VertRange(TScrollBox* box)
{
    return box->VertScrollBar()->Range();
}
