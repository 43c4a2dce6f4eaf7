// READ TOC/PMA/ATIP (MMC 6.26): formats 0000b (TOC), 0001b (session
// information) and 0010b (full TOC, CD only). Only complete sessions appear;
// a disc without one has no TOC.

#include <vector>

#include "platform/aspi/virtual/msf.h"
#include "platform/aspi/virtual/virtual_drive.h"

namespace wnaspi::vdrive {
namespace {

enum TocFormat : std::uint8_t { kToc = 0, kSessionInfo = 1, kFullToc = 2 };
constexpr std::uint8_t kMsfBit = 0x02;
constexpr std::uint8_t kAdrPosition = 0x10;  // ADR 1: Q sub-channel position data
constexpr std::uint8_t kAdrMode5 = 0x50;     // ADR 5: B0h pointer
constexpr std::uint8_t kLeadOutTrack = 0xAA;
constexpr std::uint8_t kPointFirstTrack = 0xA0;
constexpr std::uint8_t kPointLastTrack = 0xA1;
constexpr std::uint8_t kPointLeadOut = 0xA2;
constexpr std::uint8_t kPointNextProgramArea = 0xB0;

void PutTocAddress(std::vector<std::uint8_t>& out, std::uint32_t lba, bool msf) {
  if (msf) {
    const Msf m = LbaToMsf(lba);
    out.insert(out.end(), {0, m.minute, m.second, m.frame});
  } else {
    out.insert(out.end(), 4, 0);
    bytes::PutBE32(&out[out.size() - 4], lba);
  }
}

std::uint8_t Control(const Track& t) { return t.mode & 0x0F; }

void PutHeader(std::vector<std::uint8_t>& reply, std::uint8_t first, std::uint8_t last) {
  bytes::PutBE16(&reply[0], static_cast<std::uint16_t>(reply.size() - 2));
  reply[2] = first;
  reply[3] = last;
}

// Full TOC descriptor: session, ADR/CONTROL, TNO 0, POINT, MIN SEC FRAME,
// ZERO, PMIN PSEC PFRAME.
void PutRaw(std::vector<std::uint8_t>& out, std::uint8_t session, std::uint8_t adrControl,
            std::uint8_t point, Msf time, std::uint8_t zero, Msf p) {
  out.insert(out.end(), {session, adrControl, 0, point, time.minute, time.second, time.frame, zero,
                         p.minute, p.second, p.frame});
}

}  // namespace

ScsiOutcome VirtualDrive::ReadToc(const Command& command) {
  const DiscState& disc = *disc_;
  const bool msf = command.Byte(1) & kMsfBit;
  std::uint8_t format = command.Byte(2) & 0x0F;
  if (format == 0) format = command.Byte(9) >> 6;  // the older place of the format field
  const std::uint8_t number = command.Byte(6);
  const std::uint32_t lastClosed = disc.closedSessionCount();
  if (lastClosed == 0) return Fail(sense::kInvalidFieldInCdb);  // no complete session yet

  const Session& lastSession = disc.session(lastClosed);
  const std::uint32_t lastTrack = disc.lastTrackOf(lastSession).number;
  std::vector<std::uint8_t> reply(4, 0);

  switch (format) {
    case kToc: {
      if (number > lastTrack && number != kLeadOutTrack) return Fail(sense::kInvalidFieldInCdb);
      for (const Track& t : disc.tracks) {
        if (t.session > lastClosed || t.number < number || number == kLeadOutTrack) continue;
        reply.insert(reply.end(), {0, static_cast<std::uint8_t>(kAdrPosition | Control(t)),
                                   static_cast<std::uint8_t>(t.number), 0});
        PutTocAddress(reply, t.start, msf);
      }
      const Track& last = disc.tracks[lastTrack - 1];
      reply.insert(reply.end(), {0, static_cast<std::uint8_t>(kAdrPosition | Control(last)),
                                 kLeadOutTrack, 0});
      PutTocAddress(reply, disc.sessionEnd(lastSession), msf);
      PutHeader(reply, 1, static_cast<std::uint8_t>(lastTrack));
      break;
    }
    case kSessionInfo: {
      const Track& first = disc.firstTrackOf(lastSession);
      reply.insert(reply.end(), {0, static_cast<std::uint8_t>(kAdrPosition | Control(first)),
                                 static_cast<std::uint8_t>(first.number), 0});
      PutTocAddress(reply, first.start, msf);
      PutHeader(reply, 1, static_cast<std::uint8_t>(lastClosed));
      break;
    }
    case kFullToc: {
      if (!disc.traits().cd || number > lastClosed) return Fail(sense::kInvalidFieldInCdb);
      for (std::uint32_t n = std::max<std::uint32_t>(number, 1); n <= lastClosed; ++n) {
        const Session& s = disc.session(n);
        const auto sn = static_cast<std::uint8_t>(n);
        const Track& first = disc.firstTrackOf(s);
        const Track& last = disc.lastTrackOf(s);
        const auto adr = [](const Track& t) {
          return static_cast<std::uint8_t>(kAdrPosition | Control(t));
        };
        // A0h: first track number and disc type; A1h: last track number;
        // A2h: start of the lead-out.
        PutRaw(reply, sn, adr(first), kPointFirstTrack, {}, 0,
               {static_cast<std::uint8_t>(first.number), s.format, 0});
        PutRaw(reply, sn, adr(last), kPointLastTrack, {}, 0,
               {static_cast<std::uint8_t>(last.number), 0, 0});
        PutRaw(reply, sn, adr(last), kPointLeadOut, {}, 0, LbaToMsf(disc.sessionEnd(s)));
        for (const Track& t : disc.tracks) {
          if (t.session == n) {
            PutRaw(reply, sn, adr(t), static_cast<std::uint8_t>(t.number), {}, 0, LbaToMsf(t.start));
          }
        }
        // B0h: the start of the next possible program area, whose time read
        // as (MIN × 60 + SEC) × 75 + FRAME is the next session's first
        // writable address (its pre-gap starts 150 blocks earlier); PMIN-
        // PFRAME the latest possible start of the outermost lead-out.
        if (s.next != NextSession::None) {
          const Msf next = s.next == NextSession::Allowed ? FramesToMsf(disc.nextSessionStart(s))
                                                          : Msf{0xFF, 0xFF, 0xFF};
          PutRaw(reply, sn, static_cast<std::uint8_t>(kAdrMode5 | Control(last)),
                 kPointNextProgramArea, next, 1, LbaToMsf(disc.capacity()));
        }
      }
      PutHeader(reply, 1, static_cast<std::uint8_t>(lastClosed));
      break;
    }
    default:
      return Fail(sense::kInvalidFieldInCdb);  // PMA, ATIP and CD-TEXT are not kept
  }
  return command.Reply(reply, command.Be16(7));
}

}  // namespace wnaspi::vdrive
