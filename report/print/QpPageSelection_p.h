#pragma once
// The page selection shared by the report and the converters that render its
// stored pages.
#include <QString>

// Whether the page is selected: firstPage..lastPage when the selection is
// empty, else by the selection ("1,3,5-7", "-3", "10-", "odd", "even",
// "all"); EConvertError for a token that is neither number nor keyword.
bool PageInPageSelection(const QString& selection, int firstPage, int lastPage, int page);
