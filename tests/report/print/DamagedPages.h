#pragma once
// Snapshots whose page headers are intact but whose page bodies are not: a
// report of numbered pages, each with a heading and lines of text, and the
// same bytes with the command that draws one chosen text turned into a code
// no reader knows (238). The page chain is untouched, so the damage shows
// only when that page plays, part way down it.
#include "SnapshotSupport.h"

#include <QByteArray>
#include <QString>

constexpr int kDamagedLines = 8; // lines of text below each page's heading

inline QString LineText(int page, int line)
{
    return QStringLiteral("Line %1 of page %2").arg(line).arg(page);
}

// "PAGE n" large at the top of page n, then "Line k of page n", k = 1 to
// kDamagedLines, every half inch down to 5.5 inches.
inline QByteArray HeadedPages(int pages)
{
    return WriteSnapshot([pages](TZvZSFWriter& w) {
        for (int page = 1; page <= pages; ++page) {
            if (page > 1)
                w.NewPage();
            w.SetFont(QStringLiteral("Arial"), 24);
            w.PrintXY(1, 1, QStringLiteral("PAGE %1").arg(page));
            w.SetFont(QStringLiteral("Arial"), 12);
            for (int line = 1; line <= kDamagedLines; ++line)
                w.PrintXY(1, 1.5 + 0.5 * line, LineText(page, line));
        }
    });
}

// Where the left-aligned text command that draws text starts: its code 24,
// then Y, the text's length and units, X. -1 when the text is not drawn so.
inline qsizetype TextCommandPos(const QByteArray& snapshot, const QString& text)
{
    ZsfBytes units;
    units.Text16(text);
    const qsizetype at = snapshot.indexOf(units.Data) - 5;
    return at >= 0 && uint8_t(snapshot[at]) == uint8_t(TZsfCode::LeftText) ? at : -1;
}

// The snapshot with the commands that draw these texts unknown to readers;
// empty when one of them is not found.
inline QByteArray WithUnknownCommands(QByteArray snapshot, const QStringList& texts)
{
    for (const QString& text : texts) {
        const qsizetype at = TextCommandPos(snapshot, text);
        if (at < 0)
            return {};
        snapshot[at] = char(0xEE);
    }
    return snapshot;
}
