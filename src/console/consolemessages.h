// Numbers of the console's messages in the language file beyond those the
// windows use for their captions.
#pragma once

namespace kel {

inline constexpr int kMsgQueueError = 97;   // an error while processing
inline constexpr int kMsgErrorTitle = 44;   // "Error"
inline constexpr int kMsgCaption = 0;       // the program's caption
inline constexpr int kMsgIncludeError = 98; // an include could not be read
inline constexpr int kMsgFileLeft = 250;    // the file stays in the queue
inline constexpr int kMsgNotAReport = 251;
inline constexpr int kMsgLineTooLong = 252;
inline constexpr int kMsgNotUnpacked = 253;
inline constexpr int kMsgNoPrinter = 254;
inline constexpr int kMsgPrinted = 255;
inline constexpr int kMsgViewed = 256;
inline constexpr int kMsgQueueUnreadable = 257;
inline constexpr int kMsgPrintedNotDeleted = 258;
inline constexpr int kMsgPages = 264;
inline constexpr int kMsgPage = 398; // "1 page", not "1 pages"
inline constexpr int kMsgForwarded = 94;
inline constexpr int kMsgSendToSelf = 338;     // SEND_TO names this console
inline constexpr int kMsgNoViewerHere = 226;   // headless: no viewer is started
inline constexpr int kMsgViewerHeldBack = 227; // windowed: enough viewers are open
inline constexpr int kMsgOtherPrinter = 228;   // PRINTER not installed: another used
inline constexpr int kMsgOutsideFolders = 225; // a named file outside the allowed folders
inline constexpr int kMsgChangedWhilePrinted = 350;
inline constexpr int kMsgDoneBeforeStop = 351;

} // namespace kel
