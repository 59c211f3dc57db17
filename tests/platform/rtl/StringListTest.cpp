#include "platform/rtl/StringList.h"
#include "platform/rtl/Exceptions.h"

#include <gtest/gtest.h>

namespace {

TStringList ListOf(const QStringList& strings)
{
    TStringList list;
    for (const QString& s : strings)
        list.Add(s);
    return list;
}

template <typename F> QString ListErrorOf(F&& f)
{
    try {
        f();
    } catch (const EListError& e) {
        return e.Message();
    }
    return QStringLiteral("<no EListError>");
}

} // namespace

TEST(StringList, IndexErrorsNameTheIndexAndChangeNothing)
{
    TStringList list = ListOf({"a", "b"});
    // Message text and index in it as the runtime raises them.
    EXPECT_EQ(ListErrorOf([&] { list.Strings(2); }), "List index out of bounds (2)");
    EXPECT_EQ(ListErrorOf([&] { list.Strings(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(ListErrorOf([&] { list.Insert(3, "x"); }), "List index out of bounds (3)");
    EXPECT_EQ(ListErrorOf([&] { list.Move(0, 2); }), "List index out of bounds (2)");
    list.Insert(2, "c"); // one past the end appends
    EXPECT_EQ(list.ToQStringList(), QStringList({"a", "b", "c"}));
}

TEST(StringList, SortedListsKeepOrderAndApplyTheDuplicatesPolicy)
{
    TStringList list;
    list.SetSorted(true);
    EXPECT_EQ(list.Add("pear"), 0);
    EXPECT_EQ(list.Add("Apple"), 0);
    EXPECT_EQ(list.Add("fig"), 1);
    // dupIgnore (the default): the existing index, nothing added.
    EXPECT_EQ(list.Add("APPLE"), 0);
    EXPECT_EQ(list.ToQStringList(), QStringList({"Apple", "fig", "pear"}));

    list.Duplicates = TDuplicates::dupError;
    EXPECT_EQ(ListErrorOf([&] { list.Add("FIG"); }), "String list does not allow duplicates");
    list.Duplicates = TDuplicates::dupAccept;
    EXPECT_EQ(list.Add("FIG"), 1);
    EXPECT_EQ(list.Count(), 4);

    EXPECT_EQ(ListErrorOf([&] { list.Insert(0, "a"); }), "Operation not allowed on sorted list");
    EXPECT_EQ(ListErrorOf([&] { list.SetStrings(0, "a"); }), "Operation not allowed on sorted list");
    // A refused move must not lose the item it would have taken out.
    EXPECT_EQ(ListErrorOf([&] { list.Move(0, 2); }), "Operation not allowed on sorted list");
    EXPECT_EQ(list.Count(), 4);

    int index = -1;
    EXPECT_FALSE(list.Find("grape", index));
    EXPECT_EQ(index, 3); // where it would go: after both figs
    EXPECT_TRUE(list.Find("PEAR", index));
    EXPECT_EQ(index, 3);
    EXPECT_EQ(list.IndexOf("apple"), 0);
}

TEST(StringList, CaseSensitivityGovernsSearchAndSort)
{
    TStringList list = ListOf({"b", "A", "a", "B"});
    EXPECT_EQ(list.IndexOf("a"), 1); // case-insensitive by default: "A" matches
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOf("a"), 2);
    EXPECT_EQ(list.IndexOf("c"), -1);

    // Equal strings under the case-blind order land in both case orders;
    // turning case sensitivity on must re-sort, or Find misses one of them.
    TStringList sorted;
    sorted.SetSorted(true);
    sorted.Duplicates = TDuplicates::dupAccept;
    for (const char* s : {"A", "a", "c", "C"})
        sorted.Add(s);
    sorted.SetCaseSensitive(true);
    for (const char* s : {"a", "A", "c", "C"}) {
        int index = -1;
        EXPECT_TRUE(sorted.Find(s, index)) << s;
        EXPECT_EQ(sorted.Strings(index), s);
    }
    // Sort() on an unsorted list is stable for equal strings.
    TStringList mixed = ListOf({"b", "X", "a", "x", "B"});
    mixed.Sort();
    EXPECT_EQ(mixed.ToQStringList(), QStringList({"a", "b", "B", "X", "x"}));
}

TEST(StringList, NamesAndValues)
{
    TStringList list = ListOf({"Unit=1", "novalue", "Empty=", "Path=a=b"});
    EXPECT_EQ(list.Names(0), "Unit");
    EXPECT_EQ(list.Names(1), "");
    EXPECT_EQ(list.ValueFromIndex(1), ""); // not the line with its first character cut
    EXPECT_EQ(list.Values("unit"), "1");
    EXPECT_EQ(list.Values("Path"), "a=b");
    EXPECT_EQ(list.Values("missing"), "");
    EXPECT_EQ(list.IndexOfName("PATH"), 3);

    list.SetValues("UNIT", "2");
    EXPECT_EQ(list.Strings(0), "UNIT=2");
    list.SetValues("New", "x");
    EXPECT_EQ(list.Strings(4), "New=x");
    list.SetValues("Path", "");
    EXPECT_EQ(list.IndexOfName("Path"), -1);
    EXPECT_EQ(list.Count(), 4);

    list.NameValueSeparator = QLatin1Char(':');
    list.Add("k:v");
    EXPECT_EQ(list.Values("K"), "v");
}

TEST(StringList, ValuesOnSortedListStayInOrder)
{
    TStringList list;
    list.SetSorted(true);
    int object = 0;
    list.AddObject("m=1", &object);
    list.SetValues("z", "26");
    list.SetValues("a", "1");
    list.SetValues("M", "13");
    EXPECT_EQ(list.ToQStringList(), QStringList({"a=1", "M=13", "z=26"}));
    EXPECT_EQ(list.Objects(1), &object); // the replaced line keeps its object
    list.SetValues("a", "");
    EXPECT_EQ(list.ToQStringList(), QStringList({"M=13", "z=26"}));
}

TEST(StringList, TextSplitsOnEveryLineEndAndJoinsWithCrLf)
{
    struct Row {
        const char* text;
        QStringList lines;
    };
    // Splitting rules: CR LF, LF or a lone CR end a line; the end of the text
    // after a line end adds no empty line.
    const Row rows[] = {
        /* 1 */ {"", {}},
        /* 2 */ {"a", {"a"}},
        /* 3 */ {"a\r\n", {"a"}},
        /* 4 */ {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        /* 5 */ {"\n", {""}},
        /* 6 */ {"a\n\nb\r\n\r\n", {"a", "", "b", ""}},
        /* 7 */ {"a\n\r", {"a", ""}}, // LF CR is two line ends, not one
        /* 8 */ {" x \t", {" x \t"}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        TStringList list;
        list.SetText(rows[i].text);
        EXPECT_EQ(list.ToQStringList(), rows[i].lines) << "row " << i + 1;
    }
    const TStringList list = ListOf({"a", "", "b"});
    EXPECT_EQ(list.Text(), "a\r\n\r\nb\r\n");
    TStringList back;
    back.SetText(list.Text());
    EXPECT_EQ(back.ToQStringList(), list.ToQStringList());
}

TEST(StringList, CommaTextQuotesWhatTheParserWouldSplit)
{
    struct Row {
        QStringList items;
        const char* text;
    };
    const Row rows[] = {
        /* 1 */ {{}, ""},
        /* 2 */ {{"a", "b"}, "a,b"},
        /* 3 */ {{"a b"}, "\"a b\""},
        /* 4 */ {{"a,b", "c"}, "\"a,b\",c"},
        /* 5 */ {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
        /* 6 */ {{""}, "\"\""},           // a lone empty item must still be seen
        /* 7 */ {{"a", "", "b"}, "a,,b"}, // empty fields between delimiters need no quotes
        /* 8 */ {{"", ""}, ","},
        /* 9 */ {{"tab\there"}, "\"tab\there\""},
        /* 10 */ {{"a'b"}, "a'b"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const TStringList list = ListOf(rows[i].items);
        EXPECT_EQ(list.CommaText(), rows[i].text) << "row " << i + 1;
        TStringList back;
        back.SetCommaText(list.CommaText());
        EXPECT_EQ(back.ToQStringList(), rows[i].items) << "row " << i + 1;
    }
}

TEST(StringList, CommaTextParsingSplitsOnBlanksOutsideQuotes)
{
    struct Row {
        const char* text;
        QStringList items;
    };
    // The runtime's classic parser: blanks separate items like the delimiter,
    // blanks around delimiters are skipped, a trailing delimiter adds one
    // empty item, text right after a closing quote starts a new item.
    const Row rows[] = {
        /* 1 */ {"a b", {"a", "b"}},
        /* 2 */ {"  a ,  b  ", {"a", "b"}},
        /* 3 */ {"a,", {"a", ""}},
        /* 4 */ {"a, ", {"a"}},
        /* 5 */ {"\"x\"y", {"x", "y"}},
        /* 6 */ {"\"un closed", {"un closed"}},
        /* 7 */ {"\"\"\"\"", {"\""}},
        /* 8 */ {",a", {"", "a"}},
        /* 9 */ {"   ", {}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        TStringList list;
        list.SetCommaText(rows[i].text);
        EXPECT_EQ(list.ToQStringList(), rows[i].items) << "row " << i + 1;
    }
}

TEST(StringList, DelimitedTextUsesTheListsDelimiterAndQuote)
{
    TStringList list = ListOf({"a;b", "c d", "e'f", "g"});
    list.Delimiter = QLatin1Char(';');
    list.QuoteChar = QLatin1Char('\'');
    EXPECT_EQ(list.DelimitedText(), "'a;b';'c d';'e''f';g");
    EXPECT_EQ(list.CommaText(), "a;b,\"c d\",e'f,g"); // CommaText keeps its own characters
    TStringList back;
    back.Delimiter = QLatin1Char(';');
    back.QuoteChar = QLatin1Char('\'');
    back.SetDelimitedText(list.DelimitedText());
    EXPECT_EQ(back.ToQStringList(), list.ToQStringList());
}

TEST(StringList, ChangeEventsSurroundEachChangeAndOneUpdate)
{
    TStringList list;
    QStringList events;
    list.OnChanging = [&](TStringList& l) { events << QStringLiteral("changing %1").arg(l.Count()); };
    list.OnChange = [&](TStringList& l) { events << QStringLiteral("change %1").arg(l.Count()); };

    list.Add("a");
    EXPECT_EQ(events, QStringList({"changing 0", "change 1"}));
    events.clear();
    EXPECT_THROW(list.Strings(3), EListError);
    list.Clear();
    list.Clear(); // nothing to clear: no events
    EXPECT_EQ(events, QStringList({"changing 1", "change 0"}));

    events.clear();
    list.BeginUpdate();
    list.Add("x");
    list.BeginUpdate();
    list.Add("y");
    list.EndUpdate();
    EXPECT_EQ(events, QStringList({"changing 0"}));
    list.EndUpdate();
    list.EndUpdate(); // unbalanced: ignored
    EXPECT_EQ(events, QStringList({"changing 0", "change 2"}));

    // A failure inside SetText must not leave the list muted.
    list.SetSorted(true);
    list.Duplicates = TDuplicates::dupError;
    events.clear();
    EXPECT_THROW(list.SetText("p\nq\np"), EListError);
    EXPECT_EQ(events, QStringList({"changing 2", "change 2"}));
    events.clear();
    list.Add("r");
    EXPECT_EQ(events, QStringList({"changing 2", "change 3"}));
}

TEST(StringList, CopiesAssignAndMove)
{
    int tag = 7;
    TStringList source = ListOf({"b", "a"});
    source.SetObjects(1, &tag);
    source.SetCaseSensitive(true);
    source.Delimiter = QLatin1Char('|');

    const TStringList copy(source);
    EXPECT_EQ(copy.ToQStringList(), QStringList({"b", "a"}));
    EXPECT_TRUE(copy.CaseSensitive());
    EXPECT_EQ(copy.Objects(1), &tag);

    TStringList target;
    target.SetSorted(true);
    int changes = 0;
    target.OnChange = [&](TStringList&) { ++changes; };
    target.Assign(source);
    EXPECT_EQ(target.ToQStringList(), QStringList({"a", "b"})); // target's own sorting applies
    EXPECT_FALSE(target.CaseSensitive());
    EXPECT_EQ(target.Delimiter, QLatin1Char('|'));
    EXPECT_EQ(target.IndexOfObject(&tag), 0);
    EXPECT_EQ(changes, 1);

    target.AddStrings(target);    // adding a list to itself
    EXPECT_EQ(target.Count(), 2); // sorted, duplicates ignored

    TStringList moving = ListOf({"0", "1", "2", "3"});
    moving.Move(0, 3);
    EXPECT_EQ(moving.ToQStringList(), QStringList({"1", "2", "3", "0"}));
    moving.Move(3, 1);
    EXPECT_EQ(moving.ToQStringList(), QStringList({"1", "0", "2", "3"}));
}
