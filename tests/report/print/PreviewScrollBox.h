#pragma once
// A scroll box for the preview target's tests, made in a unit of its own:
// the scroll box's header and the report writer's definitions cannot share
// one (both declare a TPosition).
class TScrollBox;
class TComponent;

// A scroll box of that outer size (border included) on a form that is not
// shown, owned by owner.
TScrollBox* NewScrollBox(TComponent* owner, int width, int height);
int HorzRange(TScrollBox* box);
int VertRange(TScrollBox* box);
