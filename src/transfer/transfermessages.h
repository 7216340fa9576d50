// The numbers of the language file's texts that the network transfer says
// (data/messages.txt, 330-349). The detail that follows a text names the
// file, the address or the key's value.
#pragma once

namespace kel::transfermsg {

inline constexpr int kCommandFileRefused = 330;
inline constexpr int kAddressNotAllowed = 331;
inline constexpr int kReceiverOff = 332;
inline constexpr int kBadAllowEntry = 333;
inline constexpr int kBadListenAddress = 334;
inline constexpr int kTooSlow = 335;
inline constexpr int kTooLarge = 336;
inline constexpr int kWaitingForSlot = 337;
inline constexpr int kSendToSelf = 338;
inline constexpr int kPictureNotAllowed = 339;
inline constexpr int kNameTooLong = 340;
inline constexpr int kSlotTaken = 341;

} // namespace kel::transfermsg
