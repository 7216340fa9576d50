// Numbers of the console's messages in the language file beyond those the
// windows use for their captions.
#pragma once

namespace kel {

inline constexpr int kMsgQueueError = 97;   // an error while processing
inline constexpr int kMsgErrorTitle = 44;   // "Error"
inline constexpr int kMsgIncludeError = 98; // an include could not be read
inline constexpr int kMsgFileLeft = 292;    // the file stays in the queue
inline constexpr int kMsgNotAReport = 293;
inline constexpr int kMsgLineTooLong = 294;
inline constexpr int kMsgNotUnpacked = 295;
inline constexpr int kMsgNoPrinter = 296;
inline constexpr int kMsgPrinted = 297;
inline constexpr int kMsgViewed = 298;
inline constexpr int kMsgQueueUnreadable = 299;
inline constexpr int kMsgPrintedNotDeleted = 301;
inline constexpr int kMsgPages = 307;
inline constexpr int kMsgForwarded = 94;

} // namespace kel
