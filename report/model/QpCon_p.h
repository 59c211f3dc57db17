#pragma once
// What the files of the data connection share, from the bottom up: the
// failure of a command (this file); one request at a time and the putting
// of answers into the channel and the process's overflow blocks
// (QpConRequests.cpp). QpCon.cpp, the public file, stands on them. No code
// outside these files includes this header.
#include "report/print/QpDefine.h"

#include <QString>

namespace qpcon_detail {

// Fails the command being answered with ESheetcaster, the message passed
// through the report translation hook.
[[noreturn]] inline void ChannelFail(const QString& message)
{
    RaiseError(Translate(message));
}

} // namespace qpcon_detail
