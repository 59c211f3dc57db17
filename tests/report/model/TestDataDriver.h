#pragma once
// A data-link driver over one table held in memory, built both into a
// driver library (loaded with dlopen) and into the tests as a static link.
//
// Link type "MEM", display name "Memory Table". Table PARTS: ID (integer),
// NAME (string, full name "Part name"), PRICE (currency), NOTE (string,
// full name equal to its name, null in row 2). Rows: 1 Bolt 1.5 zinc,
// 2 Nut 0.25 -, 3 Washer 0.1 flat. A query ending in "ID=<n>" keeps the rows
// of that ID, and one ending in "ID=<n> or ID=<m>" those of both; any other
// query keeps all. A data source "fail" makes the connection refuse.
#include "report/model/ZvDLBase.h"

#include <memory>

std::unique_ptr<TDLBaseDriver> MakeMemoryDriver();
